#pragma once

#include <mutex>

#include "kelcore/threads/thread_annotations.h"  // for users too: KEL_GUARDED_BY etc.

namespace kelcore::threads {

class CondVar;

// A mutual-exclusion lock that clang's thread-safety analysis knows: data
// declared KEL_GUARDED_BY(a Mutex) may be touched only while it is held.
// Not recursive. Usually held through a MutexLock; CondVar waits on it.
//
// A std::mutex underneath on every platform. There is no reader-writer
// variant: MinGW's std::shared_mutex let two writers in at once under Wine.
class KEL_CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;  // constant-initialised where std::mutex is
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  // Blocks until the calling thread holds the lock.
  // REQUIRES: the calling thread does not hold it.
  void Lock() KEL_ACQUIRE() { mutex_.lock(); }

  // REQUIRES: the calling thread holds the lock.
  void Unlock() KEL_RELEASE() { mutex_.unlock(); }

 private:
  friend class CondVar;
  std::mutex mutex_;
};

// Holds a Mutex from construction to the end of the scope:
//
//   MutexLock lock(&mutex_);
class KEL_SCOPED_CAPABILITY MutexLock {
 public:
  // REQUIRES: the calling thread does not hold `*mutex`; it outlives the lock.
  explicit MutexLock(Mutex* mutex) KEL_ACQUIRE(mutex) : mutex_(mutex) { mutex_->Lock(); }
  ~MutexLock() KEL_RELEASE() { mutex_->Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex* const mutex_;
};

}  // namespace kelcore::threads
