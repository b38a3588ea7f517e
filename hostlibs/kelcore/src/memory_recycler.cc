#include "kelcore/allocator/memory_recycler.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

namespace kelcore::allocator {
namespace {

// The counts of the threads that use one Counters block. Its owner thread
// counts with plain loads and stores (no read-modify-write, so no locked
// instruction on the hot path); readers sum every block. A thread that ends
// hands its block to the next new thread: the sums stay right either way.
struct Counters {
  std::atomic<std::int64_t> blocks{0};
  std::atomic<std::int64_t> bytes{0};
  // The block's own peak since the last ResetPeak: `high` above `base`, its
  // bytes then. ResetPeak sets both, racing the owner's update of `high`: a
  // count made during a reset may be missed from the peak.
  std::atomic<std::int64_t> base{0};
  std::atomic<std::int64_t> high{0};
  Counters* next = nullptr;  // every block, under gMutex
  bool inUse = false;        // under gMutex
};

std::mutex gMutex;
Counters* gAll = nullptr;
std::uint64_t gBytesAtReset = 0;  // under gMutex

// Counts of threads past their own end (their block may serve another thread
// by then), made with atomic operations: rare, so their cost does not matter.
Counters gLate;

Counters* Acquire() {
  const std::lock_guard<std::mutex> lock(gMutex);
  for (Counters* c = gAll; c != nullptr; c = c->next) {
    if (!c->inUse) {
      c->inUse = true;
      return c;
    }
  }
  // Never freed: the sums need every count ever made.
  auto* c = new Counters;
  c->inUse = true;
  c->next = gAll;
  gAll = c;
  return c;
}

// Initial-exec: one load from the thread pointer rather than a call, since
// the host links this library at start-up.
#if defined(__GNUC__) && !defined(_WIN32)
__attribute__((tls_model("initial-exec")))
#endif
thread_local Counters* tCounters = nullptr;
thread_local bool tEnded = false;

// Gives the thread's block back when the thread ends. It keeps its own
// pointer to the block: where thread-locals are emulated (MinGW), the others
// may already be gone, and read as null, when this runs.
struct Release {
  Counters* block = nullptr;
  ~Release() {
    {
      const std::lock_guard<std::mutex> lock(gMutex);
      block->inUse = false;
    }
    tCounters = nullptr;
    tEnded = true;
  }
};

inline void Count(std::int64_t blocks, std::int64_t bytes);

// A thread's first count takes a block; past the thread's end, counts go to
// gLate. Out of line, so that the common path saves no registers.
[[gnu::noinline]] void CountWithoutBlock(std::int64_t blocks, std::int64_t bytes) {
  if (tEnded) {
    gLate.blocks.fetch_add(blocks, std::memory_order_relaxed);
    gLate.bytes.fetch_add(bytes, std::memory_order_relaxed);
    return;
  }
  tCounters = Acquire();
  static thread_local Release release;
  release.block = tCounters;
  Count(blocks, bytes);
}

void Add(std::atomic<std::int64_t>& counter, std::int64_t delta) {
  counter.store(counter.load(std::memory_order_relaxed) + delta, std::memory_order_relaxed);
}

// Inlined into Allocate and Recycle: a call would cost a third of it.
[[gnu::always_inline]] inline void Count(std::int64_t blocks, std::int64_t bytes) {
  Counters* const mine = tCounters;
  if (mine == nullptr) return CountWithoutBlock(blocks, bytes);
  Counters& c = *mine;
  Add(c.blocks, blocks);
  const std::int64_t after = c.bytes.load(std::memory_order_relaxed) + bytes;
  c.bytes.store(after, std::memory_order_relaxed);
  if (after > c.high.load(std::memory_order_relaxed)) {
    c.high.store(after, std::memory_order_relaxed);
  }
}

// The sums over every block; the caller holds gMutex.
MemoryRecycler::Stats Sum() {
  std::int64_t blocks = gLate.blocks.load(std::memory_order_relaxed);
  std::int64_t bytes = gLate.bytes.load(std::memory_order_relaxed);
  std::int64_t rise = 0;
  for (const Counters* c = gAll; c != nullptr; c = c->next) {
    blocks += c->blocks.load(std::memory_order_relaxed);
    bytes += c->bytes.load(std::memory_order_relaxed);
    rise += std::max<std::int64_t>(
        0, c->high.load(std::memory_order_relaxed) - c->base.load(std::memory_order_relaxed));
  }
  return {static_cast<std::uint64_t>(blocks), static_cast<std::uint64_t>(bytes),
          gBytesAtReset + static_cast<std::uint64_t>(rise)};
}

}  // namespace

// The general-purpose heap already keeps per-thread caches of small blocks, so
// the recycler delegates to it and adds the accounting the host reports.
void* MemoryRecycler::Allocate(std::size_t bytes, std::uint64_t /*reserved*/) {
  void* block = ::operator new(bytes == 0 ? 1 : bytes);
  Count(1, static_cast<std::int64_t>(bytes));
  return block;
}

void MemoryRecycler::Recycle(void* block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  Count(-1, -static_cast<std::int64_t>(bytes));
  ::operator delete(block);
}

// The peak is the bytes live at the last ResetPeak plus each block's own rise
// above its bytes then: exact while one thread allocates; with several, at
// least the true peak (what they count during the reset itself aside).
MemoryRecycler::Stats MemoryRecycler::GetStats() noexcept {
  const std::lock_guard<std::mutex> lock(gMutex);
  return Sum();
}

void MemoryRecycler::ResetPeak() noexcept {
  const std::lock_guard<std::mutex> lock(gMutex);
  gBytesAtReset = Sum().liveBytes;
  for (Counters* c = gAll; c != nullptr; c = c->next) {
    const std::int64_t bytes = c->bytes.load(std::memory_order_relaxed);
    c->base.store(bytes, std::memory_order_relaxed);
    c->high.store(bytes, std::memory_order_relaxed);
  }
}

}  // namespace kelcore::allocator
