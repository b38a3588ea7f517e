#pragma once

#include <filesystem>

#include "kelcore/filesupport/dir.h"
#include "testsupport/temp_dir.h"

namespace testsupport {

// Points the host's documents folder (Dir::UserDocsDir) at `folder` for the
// object's lifetime, as a host's Dir::SetUserDocsDir would; an empty path
// sets none, so that the environment and the platform decide. On
// destruction restores the folder of the enclosing scope, or none outside
// any scope, also when the test fails half-way.
//
// Scopes nest as long as every test changes the folder through them. Changes
// the whole process: not for tests that run at the same time as others.
class ScopedUserDocsDir {
 public:
  explicit ScopedUserDocsDir(const std::filesystem::path& folder) : previous_(Current()) {
    Current() = folder.empty() ? kelcore::UTF16String() : Wide(folder);
    kelcore::filesupport::Dir::SetUserDocsDir(Current());
  }
  ~ScopedUserDocsDir() {
    Current() = previous_;
    kelcore::filesupport::Dir::SetUserDocsDir(previous_);
  }
  ScopedUserDocsDir(const ScopedUserDocsDir&) = delete;
  ScopedUserDocsDir& operator=(const ScopedUserDocsDir&) = delete;

 private:
  // The host has no getter for the folder it was given: the scopes keep it.
  static kelcore::UTF16String& Current() {
    static kelcore::UTF16String current;
    return current;
  }

  kelcore::UTF16String previous_;
};

}  // namespace testsupport
