#include "kelcore/threads/mutex.h"

#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "kelcore/threads/cond_var.h"

namespace kelcore::threads {
namespace {

// State as the annotated classes keep theirs: the thread-safety analysis
// (clang builds) rejects any touch of `count` without the mutex.
struct Shared {
  Mutex mutex;
  CondVar changed;
  int count KEL_GUARDED_BY(mutex) = 0;
};

void AddLocked(Shared& shared) KEL_REQUIRES(shared.mutex) { ++shared.count; }

TEST(MutexTest, MutexLockExcludesOtherThreads) {
  Shared shared;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&shared] {
      for (int i = 0; i < 10000; ++i) {
        MutexLock lock(&shared.mutex);
        AddLocked(shared);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  MutexLock lock(&shared.mutex);
  EXPECT_EQ(shared.count, 4 * 10000);
}

// The waiter sees the setter's write only if Wait gives the mutex back to it
// once notified; a deadline already past ends the wait unnotified.
TEST(CondVarTest, WaitReturnsHoldingTheMutexOnceNotified) {
  Shared shared;
  std::thread setter([&shared] {
    {
      MutexLock lock(&shared.mutex);
      AddLocked(shared);
    }
    shared.changed.NotifyAll();
  });
  MutexLock lock(&shared.mutex);
  while (shared.count == 0) shared.changed.Wait(&shared.mutex);
  EXPECT_FALSE(shared.changed.WaitUntil(&shared.mutex, std::chrono::steady_clock::now()));
  setter.join();
}

}  // namespace
}  // namespace kelcore::threads
