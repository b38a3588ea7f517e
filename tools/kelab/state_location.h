#pragma once

#include <filesystem>
#include <string>

#include <CLI/CLI.hpp>

#include "store/variation_record.h"

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
  // CLI::ValidationError, with the library's reason, for a user identifier
  // the library refuses.
  std::filesystem::path StateFile() const;
};

// The records of the state file at `path`, read by the library's own code,
// so the tool accepts and refuses exactly the files the library does. Throws
// kelabexperiment::StateFileError for malformed content and the host's
// FileError when the file cannot be read.
kelabexperiment::RecordMap ReadRecords(const std::filesystem::path& path);

}  // namespace kelab
