#pragma once

#include <string>
#include <vector>

#include "testsupport/spawned_process.h"
#include "testsupport/temp_dir.h"

namespace testsupport {

struct ProcessResult {
  int status;  // the exit status; -1 when the process did not start or exit normally
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

// Runs the program argv[0] with the other arguments (UTF-8, no shell) to its
// end, its output captured in `scratch`; with `mergeErrors` standard error
// goes into `out` too, in the order written, and `err` is empty. When the
// program did not start or end normally, `err` ends with why.
inline ProcessResult RunProcess(const std::vector<std::string>& argv, const TempDir& scratch,
                                bool mergeErrors = false) {
  const auto out = scratch / "stdout.txt";
  const auto err = scratch / "stderr.txt";
  if (mergeErrors) WriteAll(err, "");
  SpawnedProcess child(argv, {out, mergeErrors ? out : err});
  ProcessResult result{child.Wait(), ReadAll(out), ReadAll(err) + child.Failure()};
#ifdef _WIN32
  // Windows programs end lines with CR LF; compare text as read in text mode.
  result.out = WithoutCarriageReturns(result.out);
  result.err = WithoutCarriageReturns(result.err);
#endif
  return result;
}

}  // namespace testsupport
