#pragma once

#include <functional>

#include <boost/shared_ptr.hpp>

#include "kelcore/kelcore_export.h"
#include "kelcore/threads/async_executor.h"

namespace kelcore::threads {

// An executor for CPU-bound work: the process's shared worker pool (one
// thread per hardware thread, started on first use), or whatever a
// ScopedExecutorFactory installed. Empty when none is available (the pool's
// threads could not be started, or the installed factory gives none).
// Thread-safe.
KELCORE_EXPORT boost::shared_ptr<AsyncExecutor> CreateCPUBoundExecutor();

using ExecutorFactory = std::function<boost::shared_ptr<AsyncExecutor>()>;

// Makes CreateCPUBoundExecutor answer with `factory` while the scope lives,
// then restores the previous answer. Lets hosts and tests supply their own
// executor, or none. Scopes must nest (destroyed in reverse order of
// creation); the factory may be called on any thread.
class KELCORE_EXPORT ScopedExecutorFactory {
 public:
  explicit ScopedExecutorFactory(ExecutorFactory factory);
  ~ScopedExecutorFactory();
  ScopedExecutorFactory(const ScopedExecutorFactory&) = delete;
  ScopedExecutorFactory& operator=(const ScopedExecutorFactory&) = delete;

 private:
  ExecutorFactory previous_;
};

}  // namespace kelcore::threads
