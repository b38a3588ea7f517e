#pragma once

#include <cstddef>
#include <limits>
#include <new>

#include "kelcore/allocator/memory_recycler.h"

namespace kelcore::allocator {

// Standard allocator that sends every allocation to MemoryRecycler.
// Stateless: all instances compare equal.
template <typename T>
class STLAllocator {
 public:
  using value_type = T;

  STLAllocator() noexcept = default;
  template <typename U>
  STLAllocator(const STLAllocator<U>&) noexcept {}  // NOLINT: rebinding is implicit

  T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(MemoryRecycler::Allocate(n * sizeof(T), 0));
  }
  void deallocate(T* p, std::size_t n) noexcept { MemoryRecycler::Recycle(p, n * sizeof(T)); }

  template <typename U>
  bool operator==(const STLAllocator<U>&) const noexcept {
    return true;
  }
  template <typename U>
  bool operator!=(const STLAllocator<U>&) const noexcept {
    return false;
  }
};

}  // namespace kelcore::allocator
