// The memory that loading a store adds, next to the file's size: the parts of
// a 10,000-record load, then cold loads against their targets.
//
// Every heap allocation of the process is counted here (operator new is
// replaced), so Boost.JSON's own buffers, boost::any holders and shared_ptr
// control blocks count as well as the host containers. The feature service's
// override table is reported on its own line: the store is loaded once to
// fill it, dropped (the overrides stay, as they would for the next user's
// load of the same experiments), and loaded again; the second load then
// overwrites equal overrides and what it adds is the store and its transient
// parse alone.

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>

#include <boost/optional.hpp>

#include "baselines.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "kelcore/allocator/memory_recycler.h"
#include "scratch_folder.h"
#include "store/experiment_store.h"
#include "testsupport/temp_dir.h"
#include "workload.h"

namespace {

std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};

void* Count(void* block) {
  if (block == nullptr) return nullptr;
  const std::size_t live = gLive.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
  std::size_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
  return block;
}

void Uncount(void* block) {
  if (block != nullptr) gLive.fetch_sub(malloc_usable_size(block));
  std::free(block);
}

void* Allocate(std::size_t bytes) {
  if (void* block = Count(std::malloc(bytes == 0 ? 1 : bytes))) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t bytes) { return Allocate(bytes); }
void* operator new[](std::size_t bytes) { return Allocate(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  return Count(std::malloc(bytes == 0 ? 1 : bytes));
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  return Count(std::malloc(bytes == 0 ? 1 : bytes));
}
void operator delete(void* block) noexcept { Uncount(block); }
void operator delete[](void* block) noexcept { Uncount(block); }
void operator delete(void* block, std::size_t) noexcept { Uncount(block); }
void operator delete[](void* block, std::size_t) noexcept { Uncount(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Uncount(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Uncount(block); }

namespace {

constexpr std::size_t kRecords = 10000;
constexpr std::size_t kTinyRecords = 1000000;
// A million realistic records would be a file of about 190 MB, over the
// 64 MiB a state file may take; this many make a file of about 30 MB.
constexpr std::size_t kLargeRecords = 160000;
constexpr double kMaxPerFileByte = 3.0;
constexpr double kMaxPerTinyRecord = 400;

struct Added {
  std::size_t peak;  // high-water mark above the starting level
  std::size_t kept;  // still allocated at the end
  std::size_t recyclerPeak;
};

// Runs `work` and reports what it added to the heap.
template <typename Work>
Added Measure(Work&& work) {
  using kelcore::allocator::MemoryRecycler;
  const std::size_t start = gLive.load();
  gPeak.store(start);
  MemoryRecycler::ResetPeak();
  const std::uint64_t recyclerStart = MemoryRecycler::GetStats().liveBytes;
  work();
  return {gPeak.load() - start, gLive.load() - start,
          static_cast<std::size_t>(MemoryRecycler::GetStats().peakBytes - recyclerStart)};
}

// A file of `records` members of the smallest kind, "n":"{}".
std::filesystem::path WriteTinyRecords(const std::filesystem::path& folder, std::size_t records) {
  const auto file = folder / "tiny";
  std::ofstream(file, std::ios::binary) << kelab_bench::TinyStateFileText(records);
  return file;
}

// What a cold load adds at its peak, override table included, against its
// target: at most `maxPerFileByte` times the file when that is not zero, else
// at most `maxPerRecord` bytes a record.
bool ReportColdLoad(const char* what, const std::filesystem::path& file, std::size_t records,
                    double maxPerFileByte, double maxPerRecord) {
  const std::size_t fileSize = std::filesystem::file_size(file);
  kelappsupport::feature::ResetFeatureService();
  boost::optional<kelabexperiment::ExperimentStore> store;
  const Added cold = Measure([&] { store.emplace(kelcore::string::FromStd(file.u8string())); });
  store.reset();
  kelappsupport::feature::ResetFeatureService();
  const double perFileByte = static_cast<double>(cold.peak) / static_cast<double>(fileSize);
  const double perRecord = static_cast<double>(cold.peak) / static_cast<double>(records);
  const bool met = maxPerFileByte > 0 ? perFileByte <= maxPerFileByte : perRecord <= maxPerRecord;
  std::printf("cold load, %s: %zu records, file %zu bytes, peak added %zu bytes\n", what, records,
              fileSize, cold.peak);
  char target[40];
  if (maxPerFileByte > 0) {
    std::snprintf(target, sizeof target, "<= %.1f x file", maxPerFileByte);
  } else {
    std::snprintf(target, sizeof target, "<= %.0f bytes per record", maxPerRecord);
  }
  std::printf("  = %.2f x file, %.0f bytes per record; target %s   %s\n", perFileByte, perRecord,
              target, met ? "met" : "NOT MET");
  return met;
}

void Line(const char* what, std::size_t bytes, std::size_t fileSize) {
  std::printf("  %-62s %11zu bytes  %5.2f x file\n", what, bytes,
              static_cast<double>(bytes) / static_cast<double>(fileSize));
}

}  // namespace

int main() {
  const testsupport::TempDir scratch;
  const auto file = kelab_bench::ScratchFolder(scratch.path(), "memory") / "state";
  {
    std::ofstream out(file, std::ios::binary);
    out << kelab_bench::StateFileText(kelab_bench::MakeRecords(kRecords));
  }
  const std::size_t fileSize = std::filesystem::file_size(file);
  const auto path = kelcore::string::FromStd(file.u8string());

  kelappsupport::feature::ResetFeatureService();
  boost::optional<kelabexperiment::ExperimentStore> store;
  const Added first = Measure([&] { store.emplace(path); });
  store.reset();  // the overrides stay set
  const Added load = Measure([&] { store.emplace(path); });
  const std::size_t overrideTable = first.kept - load.kept;
  store.reset();
  kelab_bench::ParsedState parsed;
  const Added baseline = Measure([&] { parsed = kelab_bench::BaselineLoad(file.string()); });

  std::printf("memory of loading a %zu-record store (file %zu bytes)\n", kRecords, fileSize);
  Line("peak added by the load (store + transient parse)", load.peak, fileSize);
  Line("  of it through the host allocator (MemoryRecycler)", load.recyclerPeak, fileSize);
  Line("store kept after the load", load.kept, fileSize);
  Line("host override table (feature service, on its own)", overrideTable, fileSize);
  Line("direct Boost.JSON load, for comparison (peak)", baseline.peak, fileSize);
  std::printf("\n");
  bool met = ReportColdLoad("realistic records", file, kRecords, kMaxPerFileByte, 0);
  const auto large = file.parent_path() / "large";
  {
    std::ofstream out(large, std::ios::binary);
    out << kelab_bench::StateFileText(kelab_bench::MakeRecords(kLargeRecords));
  }
  met = ReportColdLoad("realistic records", large, kLargeRecords, kMaxPerFileByte, 0) && met;
  met = ReportColdLoad("tiny records", WriteTinyRecords(file.parent_path(), kTinyRecords),
                       kTinyRecords, 0, kMaxPerTinyRecord) &&
        met;
  return met ? 0 : 1;
}
