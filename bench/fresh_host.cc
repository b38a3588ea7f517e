// A minimal host for one measurement in a fresh process: loads the module at
// run time as a host does, calls its exported Initialize once for the user
// whose state file is under the documents folder, and prints
//   initialize_us=<wall time of the call> rss_kb=<resident before> hwm_kb=<peak resident>
// Usage: kelab_bench_fresh_host <module> <documents folder> <user>
// Nothing is registered, so the call's work is the load and its overrides.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "kelcore/string/conversions.h"
#include "kelcore/utility/immutable_string.h"
#include "testsupport/loaded_module.h"

namespace {

using kelcore::utility::ImmutableString;

// A "<field>: <n> kB" line of /proc/self/status.
long StatusKilobytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) {
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <module> <documents folder> <user>\n", argv[0]);
    return 2;
  }
  if (::setenv("KEL_USER_DOCS_DIR", argv[2], 1) != 0) return 1;
  testsupport::LoadedModule module(argv[1]);
  if (!module.Loaded()) {
    std::fprintf(stderr, "%s\n", module.Error().c_str());
    return 1;
  }
  using Initialize =
      int (*)(const ImmutableString&, const ImmutableString&, const ImmutableString&, bool);
  const auto initialize = module.Symbol<Initialize>(
      "_ZN15kelabexperiment10InitializeERKN7kelcore7utility15ImmutableStringES4_S4_b");
  if (initialize == nullptr) return 1;
  const auto text = [](const char* t) {
    return ImmutableString::Create(kelcore::string::FromStd(t));
  };
  const ImmutableString user = text(argv[3]);
  const ImmutableString device = text("desktop");
  const ImmutableString store = text("web");

  const long rss = StatusKilobytes("VmRSS");
  const auto start = std::chrono::steady_clock::now();
  initialize(user, device, store, false);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  std::printf("initialize_us=%lld rss_kb=%ld hwm_kb=%ld\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()),
              rss, StatusKilobytes("VmHWM"));
  // The process ends here: the module stays pinned by the call, as in a host.
  return 0;
}
