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

#ifdef _WIN32
// `text` with each CR LF turned into LF.
inline std::string WithoutCarriageReturns(const std::string& text) {
  std::string lf;
  lf.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') lf.push_back(text[i]);
  }
  return lf;
}
#endif

// Runs `command` through the shell with its output captured in `scratch`.
// REQUIRES: arguments in `command` are already quoted for the shell.
inline ProcessResult RunProcess(const std::string& command, const TempDir& scratch) {
  const auto out = scratch / "stdout.txt";
  const auto err = scratch / "stderr.txt";
  std::string line = command + " >\"" + out.string() + "\" 2>\"" + err.string() + "\"";
#ifdef _WIN32
  // cmd.exe /c drops the first and the last quote of a line that starts with
  // a quote; an outer pair keeps the command's own quotes intact.
  line = "\"" + line + "\"";
  const int status = std::system(line.c_str());
  // Windows programs end lines with CR LF; compare text as read in text mode.
  return {status, WithoutCarriageReturns(ReadAll(out)), WithoutCarriageReturns(ReadAll(err))};
#else
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
#endif
}

}  // namespace testsupport
