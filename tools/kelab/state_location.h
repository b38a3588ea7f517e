#pragma once

#include <filesystem>
#include <string>

#include <CLI/CLI.hpp>

namespace kelab {

// Where a command finds a user's state file: an explicit --file, or the
// file the library uses for --user under --docs (default: the platform's
// documents folder, as the library itself uses).
struct StateLocation {
  std::string docs;
  std::string user;
  std::string file;

  // Adds --docs, --user and --file to `command`; --user and --file exclude
  // each other.
  void AddOptions(CLI::App& command);
  // The documents folder the host uses: --docs, or the platform's.
  std::filesystem::path DocumentsFolder() const;
  // Throws CLI::RequiredError when neither --user nor --file was given, and
  // CLI::ValidationError for a user identifier that is not one folder name.
  std::filesystem::path StateFile() const;
};

}  // namespace kelab
