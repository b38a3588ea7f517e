#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace kelab {

// Something a command was asked to read or change is not there: a documents
// folder, a user's folder, a state file's folder, a record. Told apart from a
// failure (exit status 3, docs/kelab.md) so that a typo never looks like an
// empty state.
class MissingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "; did you mean 'a' or 'b'?" for the `candidates` closest to `name` (those
// at the least edit distance in bytes, at most three, in their given order),
// or "; there are none" when `candidates` is empty. Names are made Printable.
std::string ClosestNames(const std::string& name, const std::vector<std::string>& candidates);

}  // namespace kelab
