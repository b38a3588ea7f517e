#include "record_diff.h"

#include "assignment_table.h"
#include "output.h"
#include "store/experiment_store.h"

namespace kelab {

RecordDiff DiffRecords(const kelabexperiment::RecordMap& from,
                       const kelabexperiment::RecordMap& to) {
  RecordDiff diff;
  for (const auto& [experiment, record] : from) {
    const auto it = to.find(experiment);
    if (it == to.end()) {
      diff.removed.emplace(experiment, record);
    } else if (!kelabexperiment::SameRecord(record, it->second)) {
      diff.changedBefore.emplace(experiment, record);
      diff.changedAfter.emplace(experiment, it->second);
    }
  }
  for (const auto& [experiment, record] : to) {
    if (from.find(experiment) == from.end()) diff.added.emplace(experiment, record);
  }
  return diff;
}

void PrintRecordDiff(std::ostream& out, const RecordDiff& diff) {
  if (diff.Empty()) {
    out << "No differences.\n";
    return;
  }
  const std::pair<const char*, const kelabexperiment::RecordMap*> parts[] = {
      {"Added", &diff.added},
      {"Removed", &diff.removed},
      {"Changed, before", &diff.changedBefore},
      {"Changed, after", &diff.changedAfter}};
  for (const auto& [title, records] : parts) {
    if (records->empty()) continue;
    out << title << ":\n";
    PrintAssignmentTable(out, *records);
  }
}

boost::json::object RecordDiffJson(const RecordDiff& diff, const std::string& stateFile,
                                   const std::string& backupFile) {
  boost::json::array changed;
  for (const auto& [experiment, before] : diff.changedBefore) {
    changed.push_back(boost::json::object{
        {"experiment", JsonText(experiment)},
        {"before", AssignmentJson(experiment, before)},
        {"after", AssignmentJson(experiment, diff.changedAfter.at(experiment))}});
  }
  return boost::json::object{{"stateFile", stateFile},
                             {"backupFile", backupFile},
                             {"added", AssignmentsJson(diff.added)},
                             {"removed", AssignmentsJson(diff.removed)},
                             {"changed", std::move(changed)}};
}

}  // namespace kelab
