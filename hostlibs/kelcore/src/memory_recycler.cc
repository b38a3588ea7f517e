#include "kelcore/allocator/memory_recycler.h"

#include <atomic>
#include <new>

namespace kelcore::allocator {
namespace {

std::atomic<std::uint64_t> gLiveBlocks{0};
std::atomic<std::uint64_t> gLiveBytes{0};
std::atomic<std::uint64_t> gPeakBytes{0};

void RaisePeak(std::uint64_t live) noexcept {
  std::uint64_t peak = gPeakBytes.load(std::memory_order_relaxed);
  while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
}

}  // namespace

// The general-purpose heap already keeps per-thread caches of small blocks, so
// the recycler delegates to it and adds the accounting the host reports.
void* MemoryRecycler::Allocate(std::size_t bytes, std::uint64_t /*reserved*/) {
  void* block = ::operator new(bytes == 0 ? 1 : bytes);
  gLiveBlocks.fetch_add(1, std::memory_order_relaxed);
  RaisePeak(gLiveBytes.fetch_add(bytes, std::memory_order_relaxed) + bytes);
  return block;
}

void MemoryRecycler::Recycle(void* block, std::size_t bytes) noexcept {
  if (block == nullptr) return;
  gLiveBlocks.fetch_sub(1, std::memory_order_relaxed);
  gLiveBytes.fetch_sub(bytes, std::memory_order_relaxed);
  ::operator delete(block);
}

MemoryRecycler::Stats MemoryRecycler::GetStats() noexcept {
  return {gLiveBlocks.load(std::memory_order_relaxed), gLiveBytes.load(std::memory_order_relaxed),
          gPeakBytes.load(std::memory_order_relaxed)};
}

void MemoryRecycler::ResetPeak() noexcept {
  gPeakBytes.store(gLiveBytes.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

}  // namespace kelcore::allocator
