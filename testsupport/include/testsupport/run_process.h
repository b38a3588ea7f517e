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

// `arg` (UTF-8) quoted for RunProcess's shell, as one argument: in single
// quotes for sh; for cmd.exe, in double quotes as the C runtime splits a
// command line (an argument with a double quote is not supported there).
inline std::string ShellQuoted(const std::string& arg) {
#ifdef _WIN32
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
#else
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
#endif
}

// Runs `command` (UTF-8) through the shell with its output captured in
// `scratch`; with `mergeErrors` standard error goes into `out` too, in the
// order written, and `err` is empty.
// REQUIRES: arguments in `command` are already quoted for the shell.
inline ProcessResult RunProcess(const std::string& command, const TempDir& scratch,
                                bool mergeErrors = false) {
  const auto out = scratch / "stdout.txt";
  const auto err = scratch / "stderr.txt";
  std::string line = command + " >\"" + out.u8string() + "\" 2>" +
                     (mergeErrors ? std::string("&1") : "\"" + err.u8string() + "\"");
  if (mergeErrors) WriteAll(err, "");
#ifdef _WIN32
  // cmd.exe /c drops the first and the last quote of a line that starts with
  // a quote; an outer pair keeps the command's own quotes intact. The line
  // goes as UTF-16, so that any argument reaches the program whole.
  line = "\"" + line + "\"";
  const kelcore::UTF16String wide = kelcore::string::UTF8to16(kelcore::string::FromStd(line));
  const int status = ::_wsystem(std::wstring(wide.begin(), wide.end()).c_str());
  // Windows programs end lines with CR LF; compare text as read in text mode.
  return {status, WithoutCarriageReturns(ReadAll(out)), WithoutCarriageReturns(ReadAll(err))};
#else
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
#endif
}

}  // namespace testsupport
