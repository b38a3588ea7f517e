#include "kelscripting/threads/ui_thread.h"

#include <chrono>
#include <deque>
#include <thread>

#include "kelcore/threads/cond_var.h"
#include "kelcore/threads/mutex.h"

namespace kelscripting::threads {
namespace {

using kelcore::threads::CondVar;
using kelcore::threads::Mutex;
using kelcore::threads::MutexLock;

struct Queue {
  Mutex mutex;
  CondVar changed;  // a task was queued or finished, or the runner stops
  std::deque<boost::function<void()>> tasks KEL_GUARDED_BY(mutex);
  bool accepts KEL_GUARDED_BY(mutex) = true;
  bool stopping KEL_GUARDED_BY(mutex) = false;  // asks the runner to drain and stop
};

Queue& TheQueue() {
  static Queue* queue = new Queue;  // outlives every module's statics
  return *queue;
}

thread_local bool tIsUIThread = false;

// Marks the calling thread as the UI thread for its lifetime.
class UIThreadScope {
 public:
  UIThreadScope() : previous_(tIsUIThread) { tIsUIThread = true; }
  ~UIThreadScope() { tIsUIThread = previous_; }

 private:
  bool previous_;
};

bool Enqueue(boost::function<void()> task) {
  if (task.empty()) return false;
  Queue& q = TheQueue();
  {
    MutexLock lock(&q.mutex);
    if (!q.accepts) return false;
    q.tasks.push_back(std::move(task));
  }
  q.changed.NotifyAll();
  return true;
}

// Takes the next task; empty when there is none.
boost::function<void()> TakeNext() {
  Queue& q = TheQueue();
  MutexLock lock(&q.mutex);
  if (q.tasks.empty()) return {};
  boost::function<void()> task = std::move(q.tasks.front());
  q.tasks.pop_front();
  return task;
}

}  // namespace

bool CallFunctionOnUIThread(const boost::function<void()>& task) { return Enqueue(task); }

bool DirectVoidCallOnUIThread(const boost::function<void()>& task, std::int32_t timeoutMs) {
  if (task.empty()) return false;
  if (tIsUIThread) {
    task();
    return true;
  }
  // The flag lives in shared ownership: the task may outlive this wait.
  struct Done {
    Mutex mutex;
    CondVar cv;
    bool done KEL_GUARDED_BY(mutex) = false;
  };
  auto done = std::make_shared<Done>();
  const bool queued = Enqueue([task, done] {
    struct Signal {
      std::shared_ptr<Done> done;
      ~Signal() {  // also when the task throws
        {
          MutexLock lock(&done->mutex);
          done->done = true;
        }
        done->cv.NotifyAll();
      }
    } signal{done};
    task();
  });
  if (!queued) return false;
  MutexLock lock(&done->mutex);
  if (timeoutMs < 0) {
    while (!done->done) done->cv.Wait(&done->mutex);
    return true;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done->done) {
    if (!done->cv.WaitUntil(&done->mutex, deadline)) return done->done;
  }
  return true;
}

std::size_t RunPendingUITasks() {
  UIThreadScope scope;
  std::size_t ran = 0;
  for (auto task = TakeNext(); !task.empty(); task = TakeNext()) {
    ++ran;
    task();
  }
  return ran;
}

std::size_t PendingUITaskCount() {
  Queue& q = TheQueue();
  MutexLock lock(&q.mutex);
  return q.tasks.size();
}

bool IsUIThread() { return tIsUIThread; }

void SetUIThreadAcceptsTasks(bool accepts) {
  Queue& q = TheQueue();
  MutexLock lock(&q.mutex);
  q.accepts = accepts;
}

struct UIThreadRunner::State {
  std::thread thread;
};

UIThreadRunner::UIThreadRunner(std::function<void(std::exception_ptr)> onError)
    : state_(std::make_unique<State>()) {
  state_->thread = std::thread([onError = std::move(onError)] {
    UIThreadScope scope;
    Queue& q = TheQueue();
    for (;;) {
      boost::function<void()> task;
      {
        MutexLock lock(&q.mutex);
        while (q.tasks.empty() && !q.stopping) q.changed.Wait(&q.mutex);
        if (q.tasks.empty()) return;  // stopping, and drained
        task = std::move(q.tasks.front());
        q.tasks.pop_front();
      }
      try {
        task();
      } catch (...) {
        if (onError) onError(std::current_exception());
      }
    }
  });
}

UIThreadRunner::~UIThreadRunner() {
  Queue& q = TheQueue();
  {
    MutexLock lock(&q.mutex);
    q.stopping = true;
  }
  q.changed.NotifyAll();
  state_->thread.join();
  MutexLock lock(&q.mutex);
  q.stopping = false;
}

}  // namespace kelscripting::threads
