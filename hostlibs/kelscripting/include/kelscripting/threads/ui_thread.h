#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include <boost/function.hpp>

#include "kelscripting/kelscripting_export.h"

namespace kelscripting::threads {

// The host's UI thread: one queue of tasks that run one at a time, in the
// order queued, on whichever thread is running the queue (RunPendingUITasks or
// a UIThreadRunner). All functions are thread-safe.

// Queues a copy of `task` for the UI thread. Returns false, queuing nothing,
// when `task` is empty or the queue does not accept tasks.
KELSCRIPTING_EXPORT bool CallFunctionOnUIThread(const boost::function<void()>& task);

// Runs `task` on the UI thread and waits for it at most `timeoutMs`
// milliseconds (negative: no limit). Called on the UI thread itself, runs it
// at once. Returns whether the task finished within the wait; when it did
// not, it stays queued and may run later. Returns false at once when `task`
// is empty or the queue does not accept tasks. An exception from the task
// reaches whoever runs the queue, not the waiting caller.
KELSCRIPTING_EXPORT bool DirectVoidCallOnUIThread(const boost::function<void()>& task,
                                                  std::int32_t timeoutMs);

// Host side. Runs queued tasks on the calling thread, which counts as the UI
// thread meanwhile, until the queue is empty (tasks queued by tasks run too).
// Returns how many ran. An exception from a task stops the run and reaches
// the caller; that task is gone, later ones stay queued.
// REQUIRES: no UIThreadRunner is alive.
KELSCRIPTING_EXPORT std::size_t RunPendingUITasks();

// How many tasks wait in the queue.
KELSCRIPTING_EXPORT std::size_t PendingUITaskCount();

// Whether the calling thread is running the UI queue now.
KELSCRIPTING_EXPORT bool IsUIThread();

// Whether new tasks are accepted (initially true). Refusing keeps the tasks
// already queued.
KELSCRIPTING_EXPORT void SetUIThreadAcceptsTasks(bool accepts);

// A dedicated thread that runs UI tasks as they arrive, for hosts that have
// no loop of their own. Exceptions from tasks go to `onError` (on the UI
// thread) and the loop goes on. The destructor runs what is still queued,
// then stops and joins. At most one runner at a time.
class KELSCRIPTING_EXPORT UIThreadRunner {
 public:
  explicit UIThreadRunner(std::function<void(std::exception_ptr)> onError);
  ~UIThreadRunner();
  UIThreadRunner(const UIThreadRunner&) = delete;
  UIThreadRunner& operator=(const UIThreadRunner&) = delete;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace kelscripting::threads
