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
  // type; a request of 0 bytes gets a block of its own too. `reserved` is a
  // caller-zeroed word kept for compatibility; it is never read back.
  // Throws std::bad_alloc when memory is exhausted, allocating nothing.
  static void* Allocate(std::size_t bytes, std::uint64_t reserved = 0);

  // Returns a block to the recycler.
  // REQUIRES: `block` came from Allocate with exactly `bytes`, and is not yet
  // recycled. A null `block` is ignored.
  static void Recycle(void* block, std::size_t bytes) noexcept;
};

}  // namespace kelcore::allocator
