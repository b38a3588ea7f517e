#pragma once

#include <ostream>
#include <vector>

#include "state_file_reader.h"

namespace kelab {

// Writes the assignments as an aligned text table, or "(none)" when empty.
void PrintAssignmentTable(std::ostream& out, const std::vector<StoredAssignment>& assignments);

// Writes the assignments as a JSON array of objects with the members
// experiment, variation, variationValue, challengerType, variationId and
// campaignId (null when absent).
void PrintAssignmentJson(std::ostream& out, const std::vector<StoredAssignment>& assignments);

}  // namespace kelab
