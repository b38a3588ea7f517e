#include "kelscripting/threads/ui_thread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace kelscripting::threads {
namespace {

struct Queue {
  std::mutex mutex;
  std::condition_variable changed;  // a task was queued or finished, or the runner stops
  std::deque<boost::function<void()>> tasks;
  bool accepts = true;
  bool stopping = false;  // asks the runner to drain and stop
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
    std::lock_guard<std::mutex> lock(q.mutex);
    if (!q.accepts) return false;
    q.tasks.push_back(std::move(task));
  }
  q.changed.notify_all();
  return true;
}

// Takes the next task; empty when there is none.
boost::function<void()> TakeNext() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
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
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
  };
  auto done = std::make_shared<Done>();
  const bool queued = Enqueue([task, done] {
    struct Signal {
      std::shared_ptr<Done> done;
      ~Signal() {  // also when the task throws
        {
          std::lock_guard<std::mutex> lock(done->mutex);
          done->done = true;
        }
        done->cv.notify_all();
      }
    } signal{done};
    task();
  });
  if (!queued) return false;
  std::unique_lock<std::mutex> lock(done->mutex);
  if (timeoutMs < 0) {
    done->cv.wait(lock, [&] { return done->done; });
    return true;
  }
  return done->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done->done; });
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
  std::lock_guard<std::mutex> lock(q.mutex);
  return q.tasks.size();
}

bool IsUIThread() { return tIsUIThread; }

void SetUIThreadAcceptsTasks(bool accepts) {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> lock(q.mutex);
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
        std::unique_lock<std::mutex> lock(q.mutex);
        q.changed.wait(lock, [&] { return !q.tasks.empty() || q.stopping; });
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
    std::lock_guard<std::mutex> lock(q.mutex);
    q.stopping = true;
  }
  q.changed.notify_all();
  state_->thread.join();
  std::lock_guard<std::mutex> lock(q.mutex);
  q.stopping = false;
}

}  // namespace kelscripting::threads
