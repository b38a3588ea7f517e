#pragma once

#include "kelcore/threads/mutex.h"
#include "kelscripting/script_values.h"

namespace kelscripting::definition {

// The result map a caller shares with the UI-thread task it waits for. The
// wait may end while the task still runs, so the task's store and the
// caller's copy are serialised here. Thread-safe.
class SharedCallResult {
 public:
  void Store(ScriptValueMap values) KEL_EXCLUDES(mutex_) {
    kelcore::threads::MutexLock lock(&mutex_);
    values_ = std::move(values);
  }
  ScriptValueMap Copy() const KEL_EXCLUDES(mutex_) {
    kelcore::threads::MutexLock lock(&mutex_);
    return values_;
  }

 private:
  mutable kelcore::threads::Mutex mutex_;
  ScriptValueMap values_ KEL_GUARDED_BY(mutex_);
};

}  // namespace kelscripting::definition
