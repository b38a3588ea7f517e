#include "kelcore/allocator/memory_recycler.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

// This program's own global operator new and delete: they note, on a thread
// that watches, which blocks the heap hands out and takes back, so that a
// test sees where the recycler's blocks come from and go to. They are the
// heap of every test here, so they do nothing else.
namespace {

struct HeapCalls {
  static constexpr int kMax = 64;
  int news = 0;
  void* newBlocks[kMax] = {};
  std::size_t newBytes[kMax] = {};
  int deletes = 0;
  void* deleteBlocks[kMax] = {};
};

thread_local bool tWatching = false;
thread_local HeapCalls tCalls;

void* Take(std::size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) throw std::bad_alloc();
  if (tWatching && tCalls.news < HeapCalls::kMax) {
    tCalls.newBlocks[tCalls.news] = block;
    tCalls.newBytes[tCalls.news++] = bytes;
  }
  return block;
}

void Give(void* block) noexcept {
  if (block != nullptr && tWatching && tCalls.deletes < HeapCalls::kMax) {
    tCalls.deleteBlocks[tCalls.deletes++] = block;
  }
  std::free(block);
}

}  // namespace

// Every form but the aligned ones, which pair among themselves: a sanitizer
// would otherwise see its own new freed here.
void* operator new(std::size_t bytes) { return Take(bytes); }
void* operator new[](std::size_t bytes) { return Take(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  try {
    return Take(bytes);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t bytes, const std::nothrow_t& nothrow) noexcept {
  return operator new(bytes, nothrow);
}
void operator delete(void* block) noexcept { Give(block); }
void operator delete[](void* block) noexcept { Give(block); }
void operator delete(void* block, std::size_t) noexcept { Give(block); }
void operator delete[](void* block, std::size_t) noexcept { Give(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Give(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Give(block); }

namespace kelcore::allocator {
namespace {

// What the heap saw on this thread while it lived.
class HeapWatch {
 public:
  HeapWatch() {
    tCalls = HeapCalls();
    tWatching = true;
  }
  ~HeapWatch() { tWatching = false; }
  HeapWatch(const HeapWatch&) = delete;
  HeapWatch& operator=(const HeapWatch&) = delete;

  std::vector<void*> Deleted() const {
    return std::vector<void*>(tCalls.deleteBlocks, tCalls.deleteBlocks + tCalls.deletes);
  }
};

// A block recycled must be the heap's again, or every container of the host
// leaks; one of 0 bytes is a block of its own all the same.
TEST(MemoryRecyclerTest, BlocksComeFromTheHeapAndGoBackToIt) {
#if defined(_WIN32)
  GTEST_SKIP() << "a DLL's calls of operator new do not reach a program's own on Windows";
#else
  void* block = nullptr;
  void* empty = nullptr;
  {
    HeapWatch watch;
    block = MemoryRecycler::Allocate(100);
    empty = MemoryRecycler::Allocate(0);
    ASSERT_EQ(tCalls.news, 2);
    EXPECT_EQ(tCalls.newBlocks[0], block);
    EXPECT_GE(tCalls.newBytes[0], 100u);
    EXPECT_EQ(tCalls.newBlocks[1], empty);
  }
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(empty, block);
  std::fill_n(static_cast<unsigned char*>(block), 100, 0xAB);
  HeapWatch watch;
  MemoryRecycler::Recycle(block, 100);
  MemoryRecycler::Recycle(empty, 0);
  MemoryRecycler::Recycle(nullptr, 50);
  EXPECT_EQ(watch.Deleted(), (std::vector<void*>{block, empty}));
#endif
}

// Blocks allocated on threads that have ended go back from another thread.
TEST(MemoryRecyclerTest, BlocksOfEndedThreadsAreRecycledOnAnother) {
  std::vector<void*> blocks;
  for (int round = 0; round < 3; ++round) {
    std::thread([&] {
      for (int i = 0; i < 10; ++i) {
        blocks.push_back(MemoryRecycler::Allocate(64));
        std::fill_n(static_cast<unsigned char*>(blocks.back()), 64, 0xCD);
      }
    }).join();
  }
  EXPECT_EQ(std::set<void*>(blocks.begin(), blocks.end()).size(), blocks.size());
  HeapWatch watch;
  for (void* block : blocks) MemoryRecycler::Recycle(block, 64);
#if !defined(_WIN32)
  EXPECT_EQ(watch.Deleted(), blocks);
#endif
}

}  // namespace
}  // namespace kelcore::allocator
