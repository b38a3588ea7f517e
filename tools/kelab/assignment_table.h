#pragma once

#include <ostream>

#include "store/variation_record.h"

namespace kelab {

// Writes the records as an aligned text table, or "(none)" when empty.
void PrintAssignmentTable(std::ostream& out, const kelabexperiment::RecordMap& records);

// Writes the records as a JSON array of objects with the members experiment,
// variation (the written text), variationValue (what the variation feature
// answers), challengerType, variationId and campaignId (null when absent).
void PrintAssignmentJson(std::ostream& out, const kelabexperiment::RecordMap& records);

}  // namespace kelab
