#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "platform/env.h"
#include "store/variation_record.h"

namespace kelab {

// Where a command finds a user's state file: an explicit --file, or the
// file the library uses for --user under --docs (default: the platform's
// documents folder, as the library itself uses). Paths are UTF-8 here and
// reach the file system as UTF-16 through the host's FileSystem.
struct StateLocation {
  std::string docs;
  std::string user;
  std::string file;

  // Adds --docs and --user, and --file (excluding --user) when `withFile`.
  // The options refuse, as usage errors, an empty --docs or --file, a path
  // that is not UTF-8 and a user identifier the library refuses.
  void AddOptions(CLI::App& command, bool withFile = true);
  // The documents folder: --docs, or the platform's.
  std::string DocumentsFolder() const;
  // Throws CLI::RequiredError when neither --user nor --file was given.
  std::string StateFile() const;
  // The user's folder for --user, created when missing (with its parents).
  void CreateUserFolder() const;
  // Throws MissingError unless the folders that StateFile names exist: for
  // --file its folder; for --user the documents folder and the user's folder
  // (naming the users closest to a missing one).
  void RequireFolders() const;
};

// Adds --docs to `command` (see StateLocation).
CLI::Option* AddDocsOption(CLI::App& command, std::string& docs);

// The documents folder for `docs` (empty: the platform's), as UTF-8.
std::string DocumentsFolder(const std::string& docs);

// The user's state file under the documents folder, as the library names it.
// REQUIRES: the library accepts `user` (CheckUserIdentifier).
std::string UserStateFile(const std::string& documents, const std::string& user);

// Throws MissingError ("<what> '<path>' does not exist", or "is not a
// folder") unless a folder is at `path`.
void RequireFolder(const std::string& path, const std::string& what);

// <documents>/Users, as UTF-8.
std::string UsersFolder(const std::string& documents);

// The names of the folders under UsersFolder(documents), in byte order
// (none when it is missing); IsUserIdentifier tells which are users.
std::vector<std::string> UserFolderNames(const std::string& documents);

// Why the library refuses `name` as a user identifier (CheckUserIdentifier's
// message, as LibraryMessage shows it); empty when it accepts it.
std::string UserIdentifierProblem(const std::string& name);

// Whether the library accepts `name` as a non-empty user identifier, so that
// every command agrees on which folders are users.
bool IsUserIdentifier(const std::string& name);

using PathKind = kelabexperiment::platform::EntryKind;

// What is at a UTF-8 path, through the library's platform seam (a dry run's
// changes included), a link taken for what it leads to. Throws
// kelabexperiment::FileError when that cannot be told.
PathKind KindOf(const std::string& path);

// The records of the state file at `path`, read by the library's own code,
// so the tool accepts and refuses exactly the files the library does; none
// for a missing file. Throws kelabexperiment::StateFileError for malformed
// content and kelabexperiment::FileError when the file cannot be read.
kelabexperiment::RecordMap ReadRecords(const std::string& path);

}  // namespace kelab
