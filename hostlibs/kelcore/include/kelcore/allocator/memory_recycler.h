#pragma once

#include <cstddef>
#include <cstdint>

#include "kelcore/kelcore_export.h"

namespace kelcore::allocator {

// The process-wide allocator behind every host container.
//
// Thread-safe: any thread may allocate, and a block may be recycled on a
// thread other than the one that allocated it.
class KELCORE_EXPORT MemoryRecycler {
 public:
  // Returns a block of at least `bytes` bytes, aligned for any fundamental
  // type. `reserved` is a caller-zeroed word kept for compatibility; it is
  // never read back. Throws std::bad_alloc when memory is exhausted.
  static void* Allocate(std::size_t bytes, std::uint64_t reserved = 0);

  // Returns a block to the recycler.
  // REQUIRES: `block` came from Allocate with exactly `bytes`, and is not yet
  // recycled. A null `block` is ignored.
  static void Recycle(void* block, std::size_t bytes) noexcept;

  struct Stats {
    std::uint64_t liveBlocks;
    std::uint64_t liveBytes;
    std::uint64_t peakBytes;
  };
  // Counters over the whole process; peakBytes is the high-water mark of
  // liveBytes since the last ResetPeak.
  static Stats GetStats() noexcept;
  static void ResetPeak() noexcept;
};

}  // namespace kelcore::allocator
