#pragma once

// The errors Initialize and registration throw for a user's input, so that a
// host can tell a bad state file or identifier apart from a failing disk and
// say which.

// First, so that a host compiling as C++14 is told that C++17 is needed.
#include "kelabexperiment/kelabexperiment_export.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include <boost/any/bad_any_cast.hpp>

namespace kelabexperiment {

// A user identifier that cannot be used as one folder name. what() names the
// identifier (unprintable bytes escaped) and the reason.
class InvalidUserIdentifierError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// An experiment identifier that is not valid UTF-8, refused at registration:
// the host gives an identifier's text only as UTF-16, which cannot carry its
// bytes. what() names it, each ill-formed sequence shown as U+FFFD.
class InvalidExperimentIdentifierError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Thrown by every export of a second copy of the module: a host that loads
// the module again under another file name, while a copy is loaded, gets a
// copy that its start-up registry refused and that does nothing. The copy
// loaded first is unaffected. what() names the host's reason.
class ModuleRefusedError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file operation of the library that failed: what() names the file and
// the operating system's reason. The state file is then as it was, except
// for StateFileNotDurableError.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A save that replaced the state file but could not flush its folder: the
// new file is in place and the library's memory matches it, but a power loss
// may still bring back the previous file.
class StateFileNotDurableError : public FileError {
 public:
  using FileError::FileError;
};

// A state file whose content the library cannot load. It derives from
// boost::bad_any_cast, and what() keeps that class's text, because callers
// have always caught a malformed file as that; Message() is the one line to
// show a person or a log.
class StateFileError : public boost::bad_any_cast {
 public:
  // `path` and `member` are UTF-8 with any unprintable or ill-formed bytes
  // already escaped for a message; `member` is empty when the problem is the
  // file as a whole. `offset` is the byte of the file where the problem is:
  // where parsing stopped, or where the member's value starts.
  StateFileError(std::string path, std::string member, std::string reason, std::uint64_t offset)
      : path_(std::move(path)),
        member_(std::move(member)),
        reason_(std::move(reason)),
        offset_(offset) {}

  const std::string& Path() const noexcept { return path_; }
  const std::string& Member() const noexcept { return member_; }
  const std::string& Reason() const noexcept { return reason_; }
  std::uint64_t Offset() const noexcept { return offset_; }

  // "state file '<path>', member "<member>" at byte <offset>: <reason>"
  // (without the member part when the problem is the whole file).
  std::string Message() const {
    std::string message = "state file '" + path_ + "'";
    if (!member_.empty()) message += ", member \"" + member_ + "\"";
    return message + " at byte " + std::to_string(offset_) + ": " + reason_;
  }

 private:
  std::string path_;
  std::string member_;
  std::string reason_;
  std::uint64_t offset_;
};

}  // namespace kelabexperiment
