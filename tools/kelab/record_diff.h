#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <boost/json.hpp>

#include "store/variation_record.h"

namespace kelab {

// How one set of records became another: the experiments only in the
// second (added), only in the first (removed), and in both with another
// record (changed: before, after). Each in byte order of the experiment.
struct RecordDiff {
  kelabexperiment::RecordMap added;
  kelabexperiment::RecordMap removed;
  kelabexperiment::RecordMap changedBefore;
  kelabexperiment::RecordMap changedAfter;
  bool Empty() const { return added.empty() && removed.empty() && changedBefore.empty(); }
};

RecordDiff DiffRecords(const kelabexperiment::RecordMap& from,
                       const kelabexperiment::RecordMap& to);

// The diff as text: "No differences." or a table of each kind.
void PrintRecordDiff(std::ostream& out, const RecordDiff& diff);

// The --json members "stateFile", "backupFile", "added", "removed" (arrays
// of Assignment) and "changed" (array of {"experiment", "before", "after"}).
boost::json::object RecordDiffJson(const RecordDiff& diff, const std::string& stateFile,
                                   const std::string& backupFile);

}  // namespace kelab
