#include "manager/default_value_handler.h"

#include <atomic>
#include <thread>

#include "kelappsupport/feature/feature_overrides.h"
#include "kelappsupport/feature/feature_reads.h"
#include "manager/manager_test_support.h"

namespace kelabexperiment {
namespace {

using kelscripting::threads::PendingUITaskCount;
using kelscripting::threads::RunPendingUITasks;

TEST_F(ManagerTest, FindsTheRegisteredTextIgnoringCase) {
  Register("findcase");
  EXPECT_EQ(FindExperimentForFeature(T("FINDCASE_VARIATION")), T("findcase"));
  EXPECT_EQ(FindExperimentForFeature(T("FindCase_variationId")), T("findcase"));  // substring
  EXPECT_EQ(FindExperimentForFeature(T("nothing_here_variation")), T(""));
  EXPECT_EQ(FindExperimentForFeature(T("")), T(""));
}

TEST_F(ManagerTest, ExactVariationNameWinsOverAnEarlierContainedIdentifier) {
  Register("Nest");  // interned first: earlier in handle order
  Register("Nest_b");
  EXPECT_EQ(FindExperimentForFeature(T("Nest_b_variation")), T("Nest_b"));
  EXPECT_EQ(FindExperimentForFeature(T("Nest_variation")), T("Nest"));
  // Without an exact match the first contained identifier in handle order wins.
  EXPECT_EQ(FindExperimentForFeature(T("x_Nest_b_other")), T("Nest"));
}

TEST_F(ManagerTest, OfTwoCaseVariantsTheEarlierHandleAnswers) {
  Register("twin");
  Register("TWIN");
  EXPECT_EQ(FindExperimentForFeature(T("Twin_variation")), T("twin"));
}

TEST_F(ManagerTest, HandlerQueuesOneForcedUpdatePerCallAndNothingForStrangers) {
  Register("Queued");
  Initialize("queue-user");
  OnDefaultValueTaken(manager_.get(), T("Queued_variation"));
  OnDefaultValueTaken(manager_.get(), T("Stranger_variation"));
  EXPECT_EQ(PendingUITaskCount(), 1u);
  EXPECT_TRUE(Records()->empty());  // nothing changes until the UI thread runs it
  RunPendingUITasks();
  EXPECT_EQ(Records()->at(T("Queued")).variationId, T("forced_control"));
  EXPECT_EQ(Records()->count(T("")), 0u);
  EXPECT_FALSE(HasOverride("_variation"));
}

TEST_F(ManagerTest, TwoInitializeRunsGiveTwoIdenticalUpdatesForOneFallback) {
  Register("Twice");
  Initialize("twice-user");
  Initialize("twice-user");
  kelappsupport::feature::ReadIntFeature(T("Twice_variation"), 0);
  EXPECT_EQ(PendingUITaskCount(), 2u);
  RunPendingUITasks();
  EXPECT_EQ(Records()->size(), 1u);
}

// Registration on one thread while another thread's reads fire handlers that
// consult the registry; run under ThreadSanitizer in CI.
TEST_F(ManagerTest, RegistrationRacesWithHandlersSafely) {
  Register("Race0");
  Initialize("race-user");
  constexpr int kIds = 300;
  std::atomic<bool> done{false};
  std::thread registrar([&] {
    for (int i = 1; i < kIds; ++i) Register("Race" + std::to_string(i));
    done = true;
  });
  int reads = 0;
  while (!done || reads < 50) {
    kelappsupport::feature::ReadIntFeature(T("Race0_variation"), 0);
    ++reads;
  }
  registrar.join();
  EXPECT_EQ(PendingUITaskCount(), static_cast<std::size_t>(reads));
  RunPendingUITasks();
  EXPECT_EQ(Records()->at(T("Race0")).variation, VariationKind::ForcedControl);
  EXPECT_EQ(IdentifierRegistry::Instance().CopyExperiments().count(Id("Race299")), 1u);
}

}  // namespace
}  // namespace kelabexperiment
