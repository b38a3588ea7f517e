#include "manager/ab_experiment_manager.h"

#include <atomic>

#include <gmock/gmock.h>

#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "kelcore/filesupport/dir.h"
#include "manager/manager_test_support.h"
#include "manager/user_state_path.h"
#include "platform/env.h"
#include "testsupport/error_of.h"
#include "testsupport/fault_env.h"

namespace kelabexperiment {
namespace {

using kelscripting::threads::PendingUITaskCount;
using kelscripting::threads::RunPendingUITasks;
using ::testing::HasSubstr;
constexpr DataSourceType kDefaultTaken = DataSourceType::DefaultValueTaken;
constexpr auto kOtherSource = static_cast<DataSourceType>(2);

const char kChallenger[] = R"({"variation":"challenger","challengerType":"copy"})";
const char kIds[] = R"({"variationId":"v7","campaignId":7})";

// A feature read as application code does it; a fallback queues an update.
int ReadVariation(const std::string& experiment) {
  return kelappsupport::feature::ReadIntFeature(T(experiment + "_variation"), 0).value;
}

TEST_F(ManagerTest, InitializeWithdrawsThenLoadsThenWatchesInHandleOrder) {
  Register("SeqB");
  Register("SeqA");
  kelappsupport::feature::ScopedCallRecorder recorder;
  EXPECT_EQ(Initialize("seq-user"), static_cast<int>(0xA00F0001u));
  std::vector<std::string> calls;
  for (const auto& call : recorder.Calls()) {
    using Kind = kelappsupport::feature::FeatureCall::Kind;
    if (call.name.rfind("Seq", 0) != 0) continue;
    calls.push_back((call.kind == Kind::kRemove ? "remove " : "watch ") + call.name);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"remove SeqB_variation", "remove SeqB_variationId",
                                             "remove SeqB_campaignId", "remove SeqB_challengerType",
                                             "remove SeqA_variation", "remove SeqA_variationId",
                                             "remove SeqA_campaignId", "remove SeqA_challengerType",
                                             "watch SeqB_variation", "watch SeqA_variation"}));
  EXPECT_FALSE(manager_.IsESDKInitializeComplete());
  EXPECT_EQ(std::filesystem::file_size(StateFile("seq-user")), 0u);
  ASSERT_NE(Records(), nullptr);
  EXPECT_TRUE(Records()->empty());

  // A feature keeps one handler however many users sign in, so one fallback
  // queues one update, and the handlers take no more memory.
  for (int run = 0; run < 1000; ++run) Initialize(run % 2 ? "seq-user" : "other-user");
  EXPECT_EQ(kelappsupport::feature::CountNotifications(T("SeqA_variation")), 1u);
  EXPECT_EQ(kelappsupport::feature::CountNotifications(T("SeqB_variation")), 1u);
  EXPECT_EQ(ReadVariation("SeqA"), 0);
  EXPECT_EQ(PendingUITaskCount(), 1u);
  RunPendingUITasks();
  EXPECT_EQ(Records()->size(), 1u);
}

// Whatever makes Initialize fail, the manager keeps no store (not the
// previous user's either, nor its overrides), leaves what is on disk alone,
// and an update meanwhile only sets the flags.
TEST_F(ManagerTest, AFailedInitializeLeavesNoStoreAndWritesNothing) {
  WriteStateFile("previous", R"({"PrevExp":"{\"variation\":\"challenger\"}"})");
  WriteStateFile("broken", "[1,2]");
  std::filesystem::create_directories(StateFile("folder"));  // where the file belongs
  std::filesystem::create_directories(docs_ / "blocked");
  testsupport::WriteAll(docs_ / "blocked" / "Users", "a file where a folder belongs");
  const struct {
    std::string user;
    std::filesystem::path docs;
    const char* message;
  } failures[] = {
      {"broken", docs_.path(), "bad_any_cast"},
      {"folder", docs_.path(), "not a regular file"},
      {"..", docs_.path(), "current or parent"},
      // Its bytes come back through UTF-16 as U+FFFD: never a look-alike folder.
      {"bad\xFF", docs_.path(),
       R"("bad\xEF\xBF\xBD" cannot be used as a folder name: it is not valid UTF-8)"},
      {"u", docs_ / "blocked", "Users"},
  };
  for (const auto& failure : failures) {
    Initialize("previous");
    testsupport::ScopedUserDocsDir docs(failure.docs);
    EXPECT_THAT(testsupport::ErrorOf<std::exception>([&] { Initialize(failure.user); }),
                HasSubstr(failure.message));
    EXPECT_EQ(Records(), nullptr) << failure.user;
    EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty()) << failure.user;
  }
  // A host table that refuses the next user's overrides fails the switch
  // after that user's store was made: it is not kept either.
  const std::string full = R"({"FullExp":"{\"variation\":\"challenger\"}"})";
  WriteStateFile("full", full);
  Initialize("previous");
  {
    kelappsupport::feature::ScopedSetFailure failure(0);
    EXPECT_THROW(Initialize("full"), std::bad_alloc);
  }
  EXPECT_EQ(Records(), nullptr);
  EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty());
  Update(kDefaultTaken, "X");
  EXPECT_TRUE(manager_.UpdateReceived());
  EXPECT_TRUE(manager_.ForcedControl());
  EXPECT_EQ(testsupport::ReadAll(StateFile("broken")), "[1,2]");
  EXPECT_EQ(testsupport::ReadAll(StateFile("full")), full);
  EXPECT_TRUE(std::filesystem::is_empty(StateFile("folder")));
  EXPECT_EQ(testsupport::ReadAll(docs_ / "blocked" / "Users"), "a file where a folder belongs");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(docs_ / "Users"),
                          std::filesystem::directory_iterator()),
            4);  // "previous", "broken", "folder" and "full": none for a rejected user
}

TEST_F(ManagerTest, UpdateFlagsSwitchToForcingAndStayThereUntilInitialize) {
  const auto variationOf = [&](const char* id) { return Records()->at(T(id)).variation; };
  Initialize("flags");
  Update(kOtherSource, "F1", kChallenger, kIds);  // Idle -> Passing
  EXPECT_TRUE(manager_.UpdateReceived());
  EXPECT_FALSE(manager_.ForcedControl());
  EXPECT_EQ(variationOf("F1"), VariationKind::Challenger);
  EXPECT_EQ(Records()->at(T("F1")).campaignId, T("7"));

  Update(kDefaultTaken, "F2", kChallenger, kIds);  // Passing -> Forcing: payloads ignored
  EXPECT_TRUE(manager_.ForcedControl());
  EXPECT_EQ(variationOf("F2"), VariationKind::ForcedControl);
  Update(kOtherSource, "F3", kChallenger, kIds);  // stays Forcing
  EXPECT_EQ(variationOf("F3"), VariationKind::ForcedControl);

  Initialize("flags");  // back to Idle: the next update merges its own payloads
  EXPECT_FALSE(manager_.UpdateReceived());
  Update(kOtherSource, "F4", kChallenger, kIds);
  EXPECT_EQ(variationOf("F4"), VariationKind::Challenger);
  EXPECT_EQ(variationOf("F2"), VariationKind::ForcedControl);  // reloaded from the file
}

// A fallback seen before a switch, or while it has withdrawn the previous
// user's overrides and not yet applied the next user's, must not force control
// over the next user's stored assignment.
TEST_F(ManagerTest, AnUpdateQueuedForOneUserNeverReachesTheNext) {
  Register("SessionExp");
  Register("SessionOwn");
  const std::string stored = R"({"SessionExp":"{\"variation\":\"challenger\"}"})";
  WriteStateFile("next", stored);
  Initialize("first");
  EXPECT_EQ(ReadVariation("SessionExp"), 0);  // default taken: update queued for "first"
  testsupport::FaultEnv midSwitch;
  midSwitch.onOpenForRead = [] { EXPECT_EQ(ReadVariation("SessionExp"), 0); };
  {
    platform::ScopedEnv scope(midSwitch);
    Initialize("next");
  }
  RunPendingUITasks();
  EXPECT_EQ(std::filesystem::file_size(StateFile("first")), 0u);
  EXPECT_EQ(testsupport::ReadAll(StateFile("next")), stored);
  EXPECT_EQ(Records()->size(), 1u);
  EXPECT_FALSE(manager_.UpdateReceived());
  EXPECT_EQ(ReadVariation("SessionExp"), 1);
  // The current session's own update goes through.
  EXPECT_EQ(ReadVariation("SessionOwn"), 0);
  RunPendingUITasks();
  EXPECT_EQ(ReadVariation("SessionOwn"), 3);
}

TEST_F(ManagerTest, ASaveThatFailsIsReportedAndRetriedByTheNextFallback) {
  Register("RetryExp");
  Initialize("retry");
  testsupport::FaultEnv faults;
  platform::ScopedEnv scope(faults);
  // A save that cannot write and one that cannot take the lock.
  for (std::atomic<bool>* fault : {&faults.failCreate, &faults.failLock}) {
    *fault = true;
    EXPECT_EQ(ReadVariation("RetryExp"), 0);
    EXPECT_THAT(testsupport::ErrorOf<kelabexperiment::FileError>(RunPendingUITasks),
                HasSubstr("ABExperiment"));
    *fault = false;
  }
  EXPECT_EQ(faults.locks.load(), 2);  // one attempt per update, no more
  EXPECT_EQ(std::filesystem::file_size(StateFile("retry")), 0u);

  // Once the disk takes writes again, the host's ordinary reads and UI loop
  // bring the record to the file.
  EXPECT_EQ(ReadVariation("RetryExp"), 0);
  RunPendingUITasks();
  EXPECT_EQ(ReadVariation("RetryExp"), 3);
  EXPECT_NE(testsupport::ReadAll(StateFile("retry")).find("forced_control"), std::string::npos);
}

}  // namespace
}  // namespace kelabexperiment
