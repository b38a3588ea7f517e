#pragma once

#include "kelscripting/threads/ui_thread.h"

namespace testsupport {

// On destruction runs every task still in the host's UI queue, ignoring what
// they throw, and lets the queue take tasks again: queued tasks point at the
// test's objects, so they must run before those objects go (declare the
// scope after them), and none may reach the next test.
// REQUIRES: no UIThreadRunner is alive when the scope ends.
class ScopedUIQueue {
 public:
  ScopedUIQueue() = default;
  ~ScopedUIQueue() {
    kelscripting::threads::SetUIThreadAcceptsTasks(true);
    while (kelscripting::threads::PendingUITaskCount() > 0) {
      try {
        kelscripting::threads::RunPendingUITasks();
      } catch (...) {
        // A failed task is the test's concern; the queue still has to empty.
      }
    }
  }
  ScopedUIQueue(const ScopedUIQueue&) = delete;
  ScopedUIQueue& operator=(const ScopedUIQueue&) = delete;
};

}  // namespace testsupport
