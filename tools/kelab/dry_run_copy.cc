#include "dry_run_copy.h"

#include <cstdio>
#include <system_error>

#include "platform/env.h"
#include "state_location.h"

namespace kelab {

DryRunCopy::DryRunCopy(const std::string& stateFile, const std::string& user) {
  char name[40];
  std::snprintf(
      name, sizeof name, "kelab-dry-run-%016llx",
      static_cast<unsigned long long>(kelabexperiment::platform::CurrentEnv().Random64()));
  root_ = std::filesystem::temp_directory_path() / name;
  std::filesystem::create_directory(root_);
  const std::filesystem::path copy = std::filesystem::u8path(UserStateFile(root_.u8string(), user));
  const std::filesystem::path original = std::filesystem::u8path(stateFile);
  if (std::filesystem::is_regular_file(original)) {
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(original, copy);
  }
}

DryRunCopy::~DryRunCopy() {
  std::error_code ignored;  // a scratch folder left behind harms no one
  std::filesystem::remove_all(root_, ignored);
}

}  // namespace kelab
