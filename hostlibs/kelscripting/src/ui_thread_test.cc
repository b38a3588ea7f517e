#include "kelscripting/threads/ui_thread.h"

#include <atomic>
#include <future>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "testsupport/error_of.h"
#include "testsupport/scoped_ui_queue.h"

namespace kelscripting::threads {
namespace {

class UIThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(PendingUITaskCount(), 0u); }
  testsupport::ScopedUIQueue queue_;
};

// Tasks wait until the host runs the queue, then run in order. A task's
// failure reaches the host and leaves the rest queued; a direct call from the
// UI thread itself runs at once.
TEST_F(UIThreadTest, QueuedTasksRunInOrderOnlyWhenTheHostRunsThem) {
  std::vector<int> order;
  EXPECT_TRUE(CallFunctionOnUIThread([&] { order.push_back(1); }));
  EXPECT_TRUE(CallFunctionOnUIThread([&] {
    EXPECT_TRUE(IsUIThread());
    CallFunctionOnUIThread([&] { order.push_back(4); });  // queued by a task: runs too
    EXPECT_TRUE(DirectVoidCallOnUIThread([&] { order.push_back(2); }, 0));
    order.push_back(3);
  }));
  CallFunctionOnUIThread([] { throw std::runtime_error("boom"); });
  EXPECT_TRUE(order.empty());
  EXPECT_FALSE(IsUIThread());
  EXPECT_THROW(RunPendingUITasks(), std::runtime_error);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(RunPendingUITasks(), 1u);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(RunPendingUITasks(), 0u);
}

TEST_F(UIThreadTest, RefusedAndEmptyTasksAreNotQueued) {
  EXPECT_FALSE(CallFunctionOnUIThread(boost::function<void()>()));
  EXPECT_FALSE(DirectVoidCallOnUIThread(boost::function<void()>(), -1));
  SetUIThreadAcceptsTasks(false);
  EXPECT_FALSE(CallFunctionOnUIThread([] {}));
  EXPECT_FALSE(DirectVoidCallOnUIThread([] {}, -1));
  EXPECT_EQ(PendingUITaskCount(), 0u);
}

// A second runner serves as the first did: stopping one leaves no trace. The
// second waits with a timeout that a finished task never reaches.
TEST_F(UIThreadTest, DirectCallWaitsForTheRunnerThread) {
  std::atomic<int> runs{0};
  for (int runnerNumber = 0; runnerNumber < 2; ++runnerNumber) {
    UIThreadRunner runner(nullptr);
    for (int i = 0; i < 50; ++i) {
      ASSERT_TRUE(
          DirectVoidCallOnUIThread([&] { runs.fetch_add(1); }, runnerNumber == 0 ? -1 : 600000));
      ASSERT_EQ(runs.load(), 50 * runnerNumber + i + 1);  // finished before the call returned
    }
  }
}

TEST_F(UIThreadTest, DirectCallGivesUpAfterTheTimeoutAndTheTaskRunsLater) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> lateRan{false};
  std::vector<std::exception_ptr> errors;
  {
    UIThreadRunner runner([&](std::exception_ptr e) { errors.push_back(e); });
    CallFunctionOnUIThread([released] { released.wait(); });  // blocks the UI thread
    EXPECT_FALSE(DirectVoidCallOnUIThread([&] { lateRan = true; }, 0));
    CallFunctionOnUIThread([] { throw std::runtime_error("task failed"); });
    release.set_value();
  }  // the runner drains the queue before it stops
  EXPECT_TRUE(lateRan.load());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(testsupport::ErrorOf<std::runtime_error>([&] { std::rethrow_exception(errors[0]); }),
            "task failed");
}

}  // namespace
}  // namespace kelscripting::threads
