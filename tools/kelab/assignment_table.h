#pragma once

#include <ostream>
#include <string>

#include <boost/json.hpp>

#include "store/variation_record.h"

namespace kelab {

// Writes the records as an aligned text table (names escaped for a
// terminal), or "(none)" when empty.
void PrintAssignmentTable(std::ostream& out, const kelabexperiment::RecordMap& records);

// One record as the --json "Assignment" object (docs/kelab.md): experiment,
// variation (the written text), variationValue (what the variation feature
// answers), challengerType, variationId and campaignId (null when absent).
boost::json::object AssignmentJson(const kelcore::UTF8String& experiment,
                                   const kelabexperiment::VariationRecord& record);

// The records as a JSON array of Assignment objects, in the file's order.
boost::json::array AssignmentsJson(const kelabexperiment::RecordMap& records);

// The --json members that describe one state file: stateFile, user (null
// for --file), exists and assignments.
boost::json::object StateFileJson(const std::string& path, const std::string& user, bool exists,
                                  const kelabexperiment::RecordMap& records);

}  // namespace kelab
