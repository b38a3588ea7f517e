// The memory that loading a user's state file adds, next to the file's size:
// the library's own (the store and the transient parse) against its target,
// the feature service's override table beside it, the floor loader's, and
// cold loads of larger files for information.
//
// Two accounts, of the heap's usable sizes (malloc_usable_size):
//
// - The host allocator. This program defines
//   kelcore::allocator::MemoryRecycler::Allocate and Recycle itself, and its
//   link exports them (bench/CMakeLists.txt), so that by ELF symbol
//   interposition every call of them comes here: from the library's code
//   linked into this program, and from inside libkelcore.so, whose own
//   definitions are then never called. Every container of the library and
//   every host text (UTF8String) allocates through it; the feature service
//   does not: its table holds std::string names and values in a
//   boost::unordered_flat_map with the standard allocator.
// - operator new, replaced here too: everything else, the service's table
//   among it. After a load into an empty service, what it kept is the table.
//
// main() first checks that the interposition took: a text made inside
// libkelcore.so must reach this program's Allocate, or every figure below
// would silently be of nothing.

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>

#include <boost/optional.hpp>

#include "floor_loader.h"
#include "kelabexperiment/kelabexperiment.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "kelcore/allocator/memory_recycler.h"
#include "kelcore/string/conversions.h"
#include "scratch_folder.h"
#include "store/experiment_store.h"
#include "testsupport/scoped_user_docs_dir.h"
#include "testsupport/temp_dir.h"
#include "workload.h"

namespace {

// Live bytes and their high-water mark.
struct Account {
  std::atomic<std::size_t> live{0};
  std::atomic<std::size_t> peak{0};

  void Add(std::size_t bytes) {
    const std::size_t now = live.fetch_add(bytes) + bytes;
    std::size_t high = peak.load();
    while (now > high && !peak.compare_exchange_weak(high, now)) {
    }
  }
  void Remove(std::size_t bytes) { live.fetch_sub(bytes); }
};

Account gRecycler;  // through MemoryRecycler
Account gNew;       // through operator new
Account gBoth;      // the two together

void* Counted(Account& account, void* block) {
  if (block != nullptr) {
    const std::size_t bytes = malloc_usable_size(block);
    account.Add(bytes);
    gBoth.Add(bytes);
  }
  return block;
}

void Release(Account& account, void* block) {
  if (block == nullptr) return;
  const std::size_t bytes = malloc_usable_size(block);
  account.Remove(bytes);
  gBoth.Remove(bytes);
  std::free(block);
}

void* NewBlock(std::size_t bytes) {
  if (void* block = Counted(gNew, std::malloc(bytes == 0 ? 1 : bytes))) return block;
  throw std::bad_alloc();
}

}  // namespace

namespace kelcore::allocator {

void* MemoryRecycler::Allocate(std::size_t bytes, std::uint64_t /*reserved*/) {
  if (void* block = Counted(gRecycler, std::malloc(bytes == 0 ? 1 : bytes))) return block;
  throw std::bad_alloc();
}

void MemoryRecycler::Recycle(void* block, std::size_t /*bytes*/) noexcept {
  Release(gRecycler, block);
}

}  // namespace kelcore::allocator

void* operator new(std::size_t bytes) { return NewBlock(bytes); }
void* operator new[](std::size_t bytes) { return NewBlock(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  return Counted(gNew, std::malloc(bytes == 0 ? 1 : bytes));
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  return Counted(gNew, std::malloc(bytes == 0 ? 1 : bytes));
}
void operator delete(void* block) noexcept { Release(gNew, block); }
void operator delete[](void* block) noexcept { Release(gNew, block); }
void operator delete(void* block, std::size_t) noexcept { Release(gNew, block); }
void operator delete[](void* block, std::size_t) noexcept { Release(gNew, block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(gNew, block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(gNew, block); }

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kRecords = 10000;
constexpr double kMaxOwnPerFileByte = 2.0;
constexpr std::size_t kTinyRecords = 1000000;
// A million realistic records would be a file of about 190 MB, over the
// 64 MiB a state file may take; this many make a file of about 30 MB.
constexpr std::size_t kLargeRecords = 160000;

// What a piece of work added to each account: its peak above the level at
// the start, and what it kept at the end (negative: it freed more).
struct Added {
  std::size_t recyclerPeak, newPeak, bothPeak;
  std::ptrdiff_t recyclerKept, newKept;
};

template <typename Work>
Added Measure(Work&& work) {
  const std::size_t recycler = gRecycler.live.load();
  const std::size_t heap = gNew.live.load();
  const std::size_t both = gBoth.live.load();
  gRecycler.peak.store(recycler);
  gNew.peak.store(heap);
  gBoth.peak.store(both);
  work();
  const auto kept = [](const Account& a, std::size_t start) {
    return static_cast<std::ptrdiff_t>(a.live.load()) - static_cast<std::ptrdiff_t>(start);
  };
  return {gRecycler.peak.load() - recycler, gNew.peak.load() - heap, gBoth.peak.load() - both,
          kept(gRecycler, recycler), kept(gNew, heap)};
}

// Dies unless calls of MemoryRecycler from inside libkelcore.so come here.
void CheckInterposition() {
  const std::size_t before = gRecycler.live.load();
  const kelcore::UTF16String text = kelcore::string::UTF8to16(
      kelcore::string::FromStd("longer than any short-string buffer holds in place"));
  if (gRecycler.live.load() < before + text.size() * sizeof(wchar_t)) {
    std::fprintf(stderr,
                 "kelab_bench_memory: a text made in libkelcore.so was not counted: this "
                 "program's MemoryRecycler does not replace kelcore's (link it with "
                 "--export-dynamic-symbol for both functions), so no figure would mean anything\n");
    std::exit(2);
  }
}

void Line(const char* what, std::ptrdiff_t bytes, std::size_t fileSize, const char* target = "") {
  std::printf("  %-66s %11td bytes %6.2f x file%s\n", what, bytes,
              static_cast<double>(bytes) / static_cast<double>(fileSize), target);
}

kelcore::utility::ImmutableString Text(const char* text) {
  return kelcore::utility::ImmutableString::Create(kelcore::string::FromStd(text));
}

void Initialize(const char* user) {
  kelabexperiment::Initialize(Text(user), Text("desktop"), Text("web"), false);
}

// The library's own memory in the exported Initialize of a 10,000-record
// user, against its target, with the service's table and the floor beside.
bool ReportInitialize(const fs::path& docs) {
  const testsupport::ScopedUserDocsDir docsDir(docs);
  const fs::path file = docs / "Users" / "bench-user" / "ABExperiment";
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary)
      << kelab_bench::StateFileText(kelab_bench::MakeRecords(kRecords));
  const std::size_t fileSize = fs::file_size(file);

  // First use (the module pin, the locale, the service itself) is not the load's.
  Initialize("bench-empty");
  kelappsupport::feature::ResetFeatureService();
  const Added library = Measure([] { Initialize("bench-user"); });
  const std::size_t overrides = kelappsupport::feature::SnapshotOverrides().size();
  Initialize("bench-empty");
  kelappsupport::feature::ResetFeatureService();
  if (library.recyclerKept <= 0 || overrides != 4 * kRecords) {
    std::fprintf(stderr, "kelab_bench_memory: Initialize kept no store or set %zu overrides\n",
                 overrides);
    std::exit(2);
  }

  // The store's own load over the overrides it set before: those are then
  // replaced in place, and the table adds nothing.
  const auto path = kelcore::string::FromStd(file.u8string());
  boost::optional<kelabexperiment::ExperimentStore> store;
  store.emplace(path);
  store.reset();
  const Added reload = Measure([&] { store.emplace(path); });
  store.reset();
  kelappsupport::feature::ResetFeatureService();

  // The floor from an empty service (the table it makes), then over it.
  const Added floorCold = Measure([&] { kelab_bench::FloorLoad(file.string()); });
  const Added floor = Measure([&] { kelab_bench::FloorLoad(file.string()); });
  kelappsupport::feature::ResetFeatureService();

  const double own = static_cast<double>(library.recyclerPeak) / static_cast<double>(fileSize);
  const bool met = own <= kMaxOwnPerFileByte;
  char target[48];
  std::snprintf(target, sizeof target, "   target <= %.1f x file   %s", kMaxOwnPerFileByte,
                met ? "met" : "NOT MET");
  std::printf(
      "memory of the exported Initialize, a user with %zu stored records (file %zu bytes), "
      "nothing registered\n",
      kRecords, fileSize);
  std::printf("  the library's own, through the host allocator (MemoryRecycler):\n");
  Line("  peak added (store + transient parse)", library.recyclerPeak, fileSize, target);
  Line("  kept after (the store)", library.recyclerKept, fileSize);
  Line("feature service's override table (operator new, kept after)", library.newKept, fileSize);
  Line("library's operator new beside the table (peak of a store reload)", reload.newPeak,
       fileSize);
  Line("floor loader's own peak beside the table (over equal overrides)", floor.bothPeak, fileSize);
  Line("floor loader's override table (operator new, kept after)", floorCold.newKept, fileSize);
  return met;
}

// What a cold load of the store adds at its peak, override table included,
// for information.
void ReportColdLoad(const char* what, const fs::path& file, std::size_t records) {
  const std::size_t fileSize = fs::file_size(file);
  kelappsupport::feature::ResetFeatureService();
  boost::optional<kelabexperiment::ExperimentStore> store;
  const Added cold = Measure([&] { store.emplace(kelcore::string::FromStd(file.u8string())); });
  store.reset();
  kelappsupport::feature::ResetFeatureService();
  std::printf(
      "  %-18s %8zu records, file %10zu bytes: peak added %11zu bytes = %6.2f x file, "
      "%5.0f bytes a record\n",
      what, records, fileSize, cold.bothPeak,
      static_cast<double>(cold.bothPeak) / static_cast<double>(fileSize),
      static_cast<double>(cold.bothPeak) / static_cast<double>(records));
}

}  // namespace

int main() {
  CheckInterposition();
  const testsupport::TempDir scratch;
  const fs::path folder = kelab_bench::ScratchFolder(scratch.path(), "memory");
  const bool met = ReportInitialize(folder / "docs");

  std::printf("\ncold loads of the store, override table included (information)\n");
  const fs::path file = folder / "state";
  std::ofstream(file, std::ios::binary)
      << kelab_bench::StateFileText(kelab_bench::MakeRecords(kRecords));
  ReportColdLoad("realistic records", file, kRecords);
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      << kelab_bench::StateFileText(kelab_bench::MakeRecords(kLargeRecords));
  ReportColdLoad("realistic records", file, kLargeRecords);
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      << kelab_bench::TinyStateFileText(kTinyRecords);
  ReportColdLoad("tiny records", file, kTinyRecords);
  return met ? 0 : 1;
}
