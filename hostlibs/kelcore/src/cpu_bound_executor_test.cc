#include "kelcore/threads/cpu_bound_executor.h"

#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace kelcore::threads {
namespace {

TEST(CPUBoundExecutorTest, TasksRunOnWorkerThreadsAndEmptyOnesOrReservedFlagsAreRefused) {
  const auto executor = CreateCPUBoundExecutor();
  ASSERT_TRUE(executor);
  std::vector<std::promise<std::thread::id>> ran(8);
  for (auto& r : ran) {
    ASSERT_TRUE(executor->Post([&r] { r.set_value(std::this_thread::get_id()); }, 0));
  }
  for (auto& r : ran) EXPECT_NE(r.get_future().get(), std::this_thread::get_id());
  EXPECT_EQ(CreateCPUBoundExecutor(), executor);  // one shared pool
  EXPECT_FALSE(executor->Post(boost::function<void()>(), 0));
  EXPECT_FALSE(executor->Post([] {}, 1));
}

TEST(CPUBoundExecutorTest, ScopedFactoriesNestAndRestore) {
  const auto pool = CreateCPUBoundExecutor();
  {
    ScopedExecutorFactory none([] { return boost::shared_ptr<AsyncExecutor>(); });
    EXPECT_FALSE(CreateCPUBoundExecutor());
    {
      ScopedExecutorFactory inner([pool] { return pool; });
      EXPECT_EQ(CreateCPUBoundExecutor(), pool);
    }
    EXPECT_FALSE(CreateCPUBoundExecutor());
  }
  EXPECT_EQ(CreateCPUBoundExecutor(), pool);
}

}  // namespace
}  // namespace kelcore::threads
