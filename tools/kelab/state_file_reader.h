#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelab {

// One stored assignment, as the library applies it to the features.
struct StoredAssignment {
  std::string experiment;
  std::string variation;  // the written text: intended_control, challenger, ...
  int variationValue;     // what the experiment's variation feature answers
  std::string challengerType;
  std::optional<std::string> variationId;  // absent: the library applies ""
  std::optional<std::string> campaignId;
};

// A state file the library would refuse to load; the message says which
// member is wrong and what was expected.
class StateFileProblem : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a user's state file by the library's rules: an empty file holds no
// assignments; otherwise a JSON object whose members are strings holding
// record objects whose members are strings (names in any letter case, later
// duplicates win, unknown members ignored; "control" and unknown variation
// texts read as intended_control). Assignments come in the library's order
// (byte order of the identifier). Throws StateFileProblem for content the
// library rejects, std::runtime_error when the file cannot be read. Never
// modifies the file.
std::vector<StoredAssignment> ReadStateFile(const std::filesystem::path& path);

}  // namespace kelab
