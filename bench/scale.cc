// Load time from a thousand records to the most a state file holds, in this
// process (the store's load) and in a fresh process (a minimal host that
// loads the module and calls its exported Initialize once), with the fresh
// process's peak resident memory; then the target on how the per-record time
// grows. Wall clock, median of kRuns; exits 1 when the target is missed.
//
// A million realistic records would be a file of about 190 MB, over the
// 64 MiB limit: the largest realistic size is kLargest records (about 62 MB).
// A million records of the smallest kind ("n":"{}") fit and are shown too.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "kelcore/string/conversions.h"
#include "store/experiment_store.h"
#include "testsupport/run_process.h"
#include "testsupport/temp_dir.h"
#include "workload.h"

namespace {

namespace fs = std::filesystem;

// Fresh processes of the largest file vary by a fifth from run to run even on
// a quiet machine: the median is of seven.
constexpr int kRuns = 7;
constexpr std::size_t kBase = 10000;
constexpr std::size_t kLargest = 320000;
constexpr double kMaxGrowth = 1.3;

struct Size {
  std::size_t records;
  bool tiny;
};

struct Measured {
  double inProcessUs = 0;  // per record
  double freshUs = 0;      // per record
  long peakKb = 0;         // the fresh process's VmHWM
  long addedKb = 0;        // its VmHWM above VmRSS before the call
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double InProcessLoadUs(const fs::path& file) {
  const auto path = kelcore::string::FromStd(file.u8string());
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    kelappsupport::feature::ResetFeatureService();
    boost::optional<kelabexperiment::ExperimentStore> store;
    const auto start = std::chrono::steady_clock::now();
    store.emplace(path);
    times.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  kelappsupport::feature::ResetFeatureService();
  return Median(times);
}

// The fresh-process runs: median time, and the memory of that run.
bool FreshProcess(const fs::path& docs, const testsupport::TempDir& scratch, Measured& out,
                  std::size_t records) {
  struct Run {
    double us;
    long rssKb, hwmKb;
  };
  std::vector<Run> runs;
  const std::vector<std::string> command{KELAB_FRESH_HOST_PATH, KELAB_MODULE_PATH, docs.u8string(),
                                         "bench-user"};
  for (int i = 0; i < kRuns; ++i) {
    const testsupport::ProcessResult result = testsupport::RunProcess(command, scratch);
    long long us = 0;
    Run run{};
    if (result.status != 0 ||
        std::sscanf(result.out.c_str(), "initialize_us=%lld rss_kb=%ld hwm_kb=%ld", &us, &run.rssKb,
                    &run.hwmKb) != 3) {
      std::fprintf(stderr, "fresh host failed (%d): %s%s\n", result.status, result.out.c_str(),
                   result.err.c_str());
      return false;
    }
    run.us = static_cast<double>(us);
    runs.push_back(run);
  }
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.us < b.us; });
  const Run& median = runs[runs.size() / 2];
  out.freshUs = median.us / static_cast<double>(records);
  out.peakKb = median.hwmKb;
  out.addedKb = median.hwmKb - median.rssKb;
  return true;
}

}  // namespace

int main() {
  const testsupport::TempDir scratch;
  const fs::path docs = scratch / "docs";
  const fs::path file = docs / "Users" / "bench-user" / "ABExperiment";
  fs::create_directories(file.parent_path());
  std::printf(
      "load at scale (wall clock, median of %d; fresh: a new process loads the module and\n"
      "calls the exported Initialize, nothing registered)\n",
      kRuns);
  std::printf("%9s %9s %11s %17s %12s %15s %15s\n", "records", "kind", "file bytes",
              "in-process us/rec", "fresh us/rec", "fresh peak RSS", "RSS added/file");
  const Size sizes[] = {
      {1000, false}, {kBase, false}, {100000, false}, {kLargest, false}, {1000000, true}};
  double base = 0;
  double largest = 0;
  for (const Size& size : sizes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        << (size.tiny ? kelab_bench::TinyStateFileText(size.records)
                      : kelab_bench::StateFileText(kelab_bench::MakeRecords(size.records)));
    const auto fileSize = fs::file_size(file);
    Measured m;
    m.inProcessUs = InProcessLoadUs(file) / static_cast<double>(size.records);
    if (!FreshProcess(docs, scratch, m, size.records)) return 1;
    std::printf("%9zu %9s %11ju %17.3f %12.3f %12ld kB %15.2f\n", size.records,
                size.tiny ? "tiny" : "realistic", static_cast<std::uintmax_t>(fileSize),
                m.inProcessUs, m.freshUs, m.peakKb,
                static_cast<double>(m.addedKb) * 1024 / static_cast<double>(fileSize));
    if (!size.tiny && size.records == kBase) base = m.freshUs;
    if (!size.tiny && size.records == kLargest) largest = m.freshUs;
  }
  const double growth = largest / base;
  const bool met = growth <= kMaxGrowth;
  std::printf(
      "wall time per record at %zu (largest realistic) / at %zu, load, fresh process: "
      "%.2f; target <= %.1f   %s\n",
      kLargest, kBase, growth, kMaxGrowth, met ? "met" : "NOT MET");
  return met ? 0 : 1;
}
