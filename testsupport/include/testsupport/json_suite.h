#pragma once

#include <cstdlib>
#include <filesystem>

namespace testsupport {

// The third-party JSON parsing suite kept in the repository, as CTest hands
// its place to test programs (KELAB_JSON_SUITE_DIR); empty when unset.
inline std::filesystem::path JsonSuiteFolder() {
  const char* folder = std::getenv("KELAB_JSON_SUITE_DIR");
  return folder == nullptr ? std::filesystem::path() : std::filesystem::path(folder);
}

}  // namespace testsupport
