#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "kelcore/threads/mutex.h"

namespace kelcore::threads {

// A condition variable for Mutex. A wait releases the mutex while it blocks
// and holds it again when it returns. Waits may also end without a
// notification, so wait in a loop that checks the condition under the lock:
//
//   MutexLock lock(&mutex_);
//   while (!ready_) readyChanged_.Wait(&mutex_);
//
// The condition is then checked where the analysis sees the lock held.
// Thread-safe.
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  // Releases `*mutex`, blocks until notified (or woken spuriously), then takes
  // `*mutex` again.
  // REQUIRES: the calling thread holds `*mutex`, the one every waiter uses.
  void Wait(Mutex* mutex) KEL_REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    cv_.wait(lock);
    lock.release();  // the caller keeps holding it
  }

  // As Wait, but gives up at `deadline`: false when it returned because the
  // deadline passed (with `*mutex` held again, as always).
  // REQUIRES: the calling thread holds `*mutex`, the one every waiter uses.
  bool WaitUntil(Mutex* mutex, std::chrono::steady_clock::time_point deadline) KEL_REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    const bool notified = cv_.wait_until(lock, deadline) == std::cv_status::no_timeout;
    lock.release();  // the caller keeps holding it
    return notified;
  }

  // Wakes one waiter, or all of them. The caller need not hold the mutex.
  void NotifyOne() noexcept { cv_.notify_one(); }
  void NotifyAll() noexcept { cv_.notify_all(); }

 private:
  std::condition_variable cv_;
};

}  // namespace kelcore::threads
