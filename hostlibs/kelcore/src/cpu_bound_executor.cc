// Tasks reach the pool's threads through its mutex, which already orders each
// task after its post; Asio's extra memory fences add nothing, and
// ThreadSanitizer does not support them.
#define BOOST_ASIO_DISABLE_FENCED_BLOCK

#include "kelcore/threads/cpu_bound_executor.h"
#include "kelcore/threads/mutex.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/make_shared.hpp>

namespace kelcore::threads {

AsyncExecutor::~AsyncExecutor() = default;

namespace {

class ThreadPoolExecutor final : public AsyncExecutor {
 public:
  explicit ThreadPoolExecutor(std::size_t threads) : pool_(threads) {}
  ~ThreadPoolExecutor() override { pool_.join(); }

  bool Post(const boost::function<void()>& task, std::uint32_t flags) override {
    if (task.empty() || flags != 0) return false;
    boost::asio::post(pool_, task);
    return true;
  }

 private:
  boost::asio::thread_pool pool_;
};

// The shared pool; empty after a failed start, which the next call retries.
boost::shared_ptr<AsyncExecutor> SharedPool() {
  static Mutex mutex;
  static boost::shared_ptr<AsyncExecutor> pool KEL_GUARDED_BY(mutex);  // joined at process exit
  MutexLock lock(&mutex);
  if (!pool) {
    try {
      pool =
          boost::make_shared<ThreadPoolExecutor>(std::max(1u, std::thread::hardware_concurrency()));
    } catch (const std::system_error&) {
      return {};
    }
  }
  return pool;
}

struct Override {
  Mutex mutex;
  ExecutorFactory factory KEL_GUARDED_BY(mutex);  // empty: the shared pool
};

Override& TheOverride() {
  static Override* current = new Override;  // outlives every module's statics
  return *current;
}

}  // namespace

boost::shared_ptr<AsyncExecutor> CreateCPUBoundExecutor() {
  ExecutorFactory factory;
  {
    Override& o = TheOverride();
    MutexLock lock(&o.mutex);
    factory = o.factory;
  }
  return factory ? factory() : SharedPool();
}

ScopedExecutorFactory::ScopedExecutorFactory(ExecutorFactory factory) {
  Override& o = TheOverride();
  MutexLock lock(&o.mutex);
  previous_ = std::exchange(o.factory, std::move(factory));
}

ScopedExecutorFactory::~ScopedExecutorFactory() {
  Override& o = TheOverride();
  MutexLock lock(&o.mutex);
  o.factory = std::move(previous_);
}

}  // namespace kelcore::threads
