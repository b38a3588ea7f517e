#pragma once

#include <filesystem>
#include <string>

namespace kelab {

// Where a dry run's session works: a documents folder of its own under the
// system's temporary folder, holding a copy of the user's state file (when
// there is one), and removed with the object. The library then runs
// unchanged, as loaded by any host, and nothing it writes reaches the user's
// folder. Throws std::filesystem::filesystem_error when the copy cannot be
// made.
class DryRunCopy {
 public:
  DryRunCopy(const std::string& stateFile, const std::string& user);
  ~DryRunCopy();
  DryRunCopy(const DryRunCopy&) = delete;
  DryRunCopy& operator=(const DryRunCopy&) = delete;

  std::string Documents() const { return root_.u8string(); }

 private:
  std::filesystem::path root_;
};

}  // namespace kelab
