#pragma once

#include <cstdlib>
#include <string>

#include "testsupport/temp_dir.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace testsupport {

struct ProcessResult {
  int status;  // the exit status; -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// Runs `command` through the shell with its output captured in `scratch`.
// REQUIRES: arguments in `command` are already quoted for the shell.
inline ProcessResult RunProcess(const std::string& command, const TempDir& scratch) {
  const auto out = scratch / "stdout.txt";
  const auto err = scratch / "stderr.txt";
  const int raw =
      std::system((command + " >\"" + out.string() + "\" 2>\"" + err.string() + "\"").c_str());
#ifdef _WIN32
  const int status = raw;
#else
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  return {status, ReadAll(out), ReadAll(err)};
}

}  // namespace testsupport
