#include "kelcore/threads/mutex.h"

#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "kelcore/threads/cond_var.h"

namespace kelcore::threads {
namespace {

// A counter as the annotated classes keep their state: the thread-safety
// analysis (clang builds) rejects any touch of count_ without the lock.
class Counter {
 public:
  void Add() KEL_EXCLUDES(mutex_) {
    MutexLock lock(&mutex_);
    AddLocked();
  }
  int Get() const KEL_EXCLUDES(mutex_) {
    MutexLock lock(&mutex_);
    return count_;
  }

 private:
  void AddLocked() KEL_REQUIRES(mutex_) { ++count_; }

  mutable Mutex mutex_;
  int count_ KEL_GUARDED_BY(mutex_) = 0;
};

TEST(MutexTest, MutexLockExcludesOtherThreads) {
  constexpr int kThreads = 4;
  constexpr int kAdds = 10000;
  Counter counter;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&counter] {
      for (int i = 0; i < kAdds; ++i) counter.Add();
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter.Get(), kThreads * kAdds);
}

struct Flag {
  Mutex mutex;
  CondVar changed;
  bool set KEL_GUARDED_BY(mutex) = false;
};

// The waiter sees the setter's write only if Wait gives the mutex back to it
// once notified; a deadline already past ends the wait unnotified.
TEST(CondVarTest, WaitReturnsHoldingTheMutexOnceNotified) {
  Flag flag;
  std::thread setter([&flag] {
    {
      MutexLock lock(&flag.mutex);
      flag.set = true;
    }
    flag.changed.NotifyAll();
  });
  MutexLock lock(&flag.mutex);
  while (!flag.set) flag.changed.Wait(&flag.mutex);
  EXPECT_FALSE(flag.changed.WaitUntil(&flag.mutex, std::chrono::steady_clock::now()));
  setter.join();
}

}  // namespace
}  // namespace kelcore::threads
