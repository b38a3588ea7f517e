#pragma once

#include <mutex>

#include "kelscripting/script_values.h"

namespace kelscripting::definition {

// The result map a caller shares with the UI-thread task it waits for. The
// wait may end while the task still runs, so the task's store and the
// caller's copy are serialised here. Thread-safe.
class SharedCallResult {
 public:
  void Store(ScriptValueMap values) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_ = std::move(values);
  }
  ScriptValueMap Copy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_;
  }

 private:
  mutable std::mutex mutex_;
  ScriptValueMap values_;
};

}  // namespace kelscripting::definition
