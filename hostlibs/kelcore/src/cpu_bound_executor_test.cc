#include "kelcore/threads/cpu_bound_executor.h"

#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

namespace kelcore::threads {
namespace {

TEST(CPUBoundExecutorTest, TasksRunOnWorkerThreads) {
  const auto executor = CreateCPUBoundExecutor();
  ASSERT_TRUE(executor);
  std::vector<std::promise<std::thread::id>> ran(8);
  for (auto& r : ran) {
    ASSERT_TRUE(executor->Post([&r] { r.set_value(std::this_thread::get_id()); }, 0));
  }
  for (auto& r : ran) EXPECT_NE(r.get_future().get(), std::this_thread::get_id());
  EXPECT_EQ(CreateCPUBoundExecutor(), executor);  // one shared pool
}

TEST(CPUBoundExecutorTest, EmptyTasksAndReservedFlagsAreRefused) {
  const auto executor = CreateCPUBoundExecutor();
  ASSERT_TRUE(executor);
  EXPECT_FALSE(executor->Post(boost::function<void()>(), 0));
  EXPECT_FALSE(executor->Post([] {}, 1));
}

class RefusingExecutor : public AsyncExecutor {
 public:
  bool Post(const boost::function<void()>&, std::uint32_t) override { return false; }
};

TEST(CPUBoundExecutorTest, ScopedFactoriesNestAndRestore) {
  const auto pool = CreateCPUBoundExecutor();
  {
    ScopedExecutorFactory none([] { return boost::shared_ptr<AsyncExecutor>(); });
    EXPECT_FALSE(CreateCPUBoundExecutor());
    const auto refusing = boost::make_shared<RefusingExecutor>();
    {
      ScopedExecutorFactory inner([refusing] { return refusing; });
      EXPECT_EQ(CreateCPUBoundExecutor(), refusing);
    }
    EXPECT_FALSE(CreateCPUBoundExecutor());
  }
  EXPECT_EQ(CreateCPUBoundExecutor(), pool);
}

}  // namespace
}  // namespace kelcore::threads
