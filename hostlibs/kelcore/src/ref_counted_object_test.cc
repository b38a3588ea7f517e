#include "kelcore/utility/ref_counted_object.h"

#include <algorithm>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <boost/intrusive_ptr.hpp>

#include "kelcore/allocator/memory_recycler.h"

namespace kelcore::utility {
namespace {

class Counted : public RefCountedObject {
 public:
  explicit Counted(int& destroyed, bool resurrect = false)
      : destroyed_(destroyed), resurrect_(resurrect) {}
  ~Counted() override {
    ++destroyed_;
    if (resurrect_) boost::intrusive_ptr<Counted> again(this);  // back to 1, then 0
  }
  void BecomeImmortal() { MakeImmortal(); }

 private:
  int& destroyed_;
  bool resurrect_;
};

// References are taken and dropped on many threads at once, and through the
// virtual base.
TEST(RefCountedObjectTest, TheLastReferenceDestroysTheObjectOnce) {
  int destroyed = 0;
  boost::intrusive_ptr<Counted> a(new Counted(destroyed));
  boost::intrusive_ptr<RefCountedInterface> b = a;
  EXPECT_EQ(a->UseCount(), 2u);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([a] {
      for (int i = 0; i < 10000; ++i) boost::intrusive_ptr<Counted> copy = a;
    });
  }
  for (auto& t : threads) t.join();
  b.reset();
  EXPECT_EQ(a->UseCount(), 1u);
  EXPECT_EQ(destroyed, 0);
  a.reset();
  EXPECT_EQ(destroyed, 1);

  // A destructor that takes and drops a reference must not destroy again.
  boost::intrusive_ptr<Counted> c(new Counted(destroyed, /*resurrect=*/true));
  c.reset();
  EXPECT_EQ(destroyed, 2);
}

TEST(RefCountedObjectTest, AnImmortalObjectOutlivesItsReferences) {
  int destroyed = 0;
  {
    Counted onStack(destroyed);  // deleting it through the count would crash
    onStack.BecomeImmortal();
    boost::intrusive_ptr<Counted>(&onStack).reset();
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);  // its own scope ended
}

using allocator::MemoryRecycler;

void ExpectLive(const MemoryRecycler::Stats& before, std::uint64_t blocks, std::uint64_t bytes) {
  const MemoryRecycler::Stats now = MemoryRecycler::GetStats();
  EXPECT_EQ(now.liveBlocks, before.liveBlocks + blocks);
  EXPECT_EQ(now.liveBytes, before.liveBytes + bytes);
}

// Nothing else allocates through the recycler while a test runs alone.
TEST(MemoryRecyclerTest, CountsLiveBlocksBytesAndTheirPeak) {
  const MemoryRecycler::Stats before = MemoryRecycler::GetStats();
  MemoryRecycler::ResetPeak();
  void* block = MemoryRecycler::Allocate(100);
  void* empty = MemoryRecycler::Allocate(0);  // a block of its own all the same
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(empty, block);
  std::fill_n(static_cast<unsigned char*>(block), 100, 0xAB);
  ExpectLive(before, 2, 100);
  MemoryRecycler::Recycle(block, 100);
  MemoryRecycler::Recycle(empty, 0);
  MemoryRecycler::Recycle(nullptr, 50);
  ExpectLive(before, 0, 0);
  EXPECT_EQ(MemoryRecycler::GetStats().peakBytes, before.liveBytes + 100);
  MemoryRecycler::ResetPeak();
  EXPECT_EQ(MemoryRecycler::GetStats().peakBytes, before.liveBytes);
}

// Each thread counts on its own and the counts are summed when read: blocks
// freed by another thread than the one that allocated them, and the counts of
// threads that have ended (whose counters the next thread takes over), must
// still add up.
TEST(MemoryRecyclerTest, CountsAddUpAcrossThreadsThatEnd) {
  const MemoryRecycler::Stats before = MemoryRecycler::GetStats();
  std::vector<void*> blocks;
  for (int round = 0; round < 3; ++round) {
    std::thread([&] {
      for (int i = 0; i < 10; ++i) blocks.push_back(MemoryRecycler::Allocate(64));
    }).join();
  }
  ExpectLive(before, 30, 30 * 64);
  for (void* block : blocks) MemoryRecycler::Recycle(block, 64);
  ExpectLive(before, 0, 0);
}

}  // namespace
}  // namespace kelcore::utility
