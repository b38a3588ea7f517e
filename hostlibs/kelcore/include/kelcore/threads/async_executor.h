#pragma once

#include <cstdint>

#include <boost/function.hpp>

#include "kelcore/kelcore_export.h"

namespace kelcore::threads {

// Runs tasks asynchronously, on threads of its own. Implementations are
// thread-safe: any thread may post.
class KELCORE_EXPORT AsyncExecutor {
 public:
  virtual ~AsyncExecutor();

  // Takes a copy of `task` to run later on one of the executor's threads.
  // `flags` is reserved and must be 0. Returns whether the task was taken;
  // false (nothing queued) for an empty task, non-zero flags, or an executor
  // that no longer accepts work. A taken task runs at most once; an exception
  // it throws is the task's own business and must not escape it.
  virtual bool Post(const boost::function<void()>& task, std::uint32_t flags) = 0;
};

}  // namespace kelcore::threads
