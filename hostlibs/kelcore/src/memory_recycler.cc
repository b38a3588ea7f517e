#include "kelcore/allocator/memory_recycler.h"

#include <new>

namespace kelcore::allocator {

// The general-purpose heap already keeps per-thread caches of small blocks and
// is thread-safe, so the recycler hands every request to it unchanged.
void* MemoryRecycler::Allocate(std::size_t bytes, std::uint64_t /*reserved*/) {
  return ::operator new(bytes);
}

// The size is part of the contract for recyclers that keep pools; the heap
// does not need it.
void MemoryRecycler::Recycle(void* block, std::size_t /*bytes*/) noexcept {
  ::operator delete(block);
}

}  // namespace kelcore::allocator
