#include "manager/ab_experiment_manager.h"

#include <atomic>

#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file_system.h"
#include "manager/manager_test_support.h"
#include "manager/user_state_path.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/scoped_environment.h"

namespace kelabexperiment {
namespace {

using kelappsupport::feature::CountNotifications;
using kelscripting::threads::PendingUITaskCount;
using kelscripting::threads::RunPendingUITasks;
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

  // Every run adds one more handler, so one fallback queues two equal updates.
  Initialize("seq-user");
  EXPECT_EQ(ReadVariation("SeqA"), 0);
  EXPECT_EQ(PendingUITaskCount(), 2u);
  RunPendingUITasks();
  EXPECT_EQ(Records()->size(), 1u);
}

TEST_F(ManagerTest, EmptyUserHasAStoreWithoutFile) {
  Register("EmptyUserExp");
  Initialize("");
  EXPECT_EQ(CountNotifications(T("EmptyUserExp_variation")), 1u);
  Update(kDefaultTaken, "EmptyUserExp");
  ASSERT_NE(Records(), nullptr);
  EXPECT_EQ(Records()->size(), 1u);  // kept in memory
  EXPECT_TRUE(std::filesystem::is_empty(docs_.path()));
}

TEST_F(ManagerTest, EachUserGetsOnlyTheOverridesOfTheirOwnFile) {
  Register("LeakReg");
  const std::string text =
      R"({"LeakReg":"{\"variation\":\"challenger\",\"challengerType\":\"c\"}",)"
      R"("LeakUnreg":"{\"variation\":\"challenger\"}"})";
  WriteStateFile("first", text);
  for (int round = 0; round < 2; ++round) {  // the same user gets everything back
    Initialize("first");
    EXPECT_EQ(kelappsupport::feature::ReadIntFeature(T("LeakReg_variation"), -1).value, 1);
    EXPECT_TRUE(HasOverride("LeakUnreg_variation"));
    EXPECT_EQ(testsupport::ReadAll(StateFile("first")), text);  // loading never writes
    Initialize("second");
    for (const char* feature :
         {"LeakReg_variation", "LeakReg_challengerType", "LeakReg_variationId",
          "LeakReg_campaignId", "LeakUnreg_variation", "LeakUnreg_challengerType"}) {
      EXPECT_FALSE(HasOverride(feature)) << feature;
    }
  }
}

// Whatever makes Initialize fail, the manager keeps no store (not the
// previous user's either), leaves what is on disk alone, and an update
// meanwhile only sets the flags.
TEST_F(ManagerTest, AFailedInitializeLeavesNoStoreAndWritesNothing) {
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
      {"u", docs_ / "blocked", "Users"},
  };
  for (const auto& failure : failures) {
    Initialize("previous");
    testsupport::ScopedUserDocsDir docs(failure.docs);
    try {
      Initialize(failure.user);
      ADD_FAILURE() << "Initialize succeeded for " << failure.user;
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(failure.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(Records(), nullptr) << failure.user;
  }
  Update(kDefaultTaken, "X");
  EXPECT_TRUE(manager_.UpdateReceived());
  EXPECT_TRUE(manager_.ForcedControl());
  EXPECT_EQ(testsupport::ReadAll(StateFile("broken")), "[1,2]");
  EXPECT_TRUE(std::filesystem::is_empty(StateFile("folder")));
  EXPECT_EQ(testsupport::ReadAll(docs_ / "blocked" / "Users"), "a file where a folder belongs");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(docs_ / "Users"),
                          std::filesystem::directory_iterator()),
            3);  // "previous", "broken" and "folder": none for a rejected user
  EXPECT_TRUE(kelappsupport::feature::SnapshotOverrides().empty());
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

TEST_F(ManagerTest, AnUpdateQueuedForOneUserNeverReachesTheNext) {
  Register("SessionExp");
  Initialize("first");
  EXPECT_EQ(ReadVariation("SessionExp"), 0);  // default taken: update queued for "first"
  Initialize("second");
  RunPendingUITasks();
  EXPECT_EQ(std::filesystem::file_size(StateFile("first")), 0u);
  EXPECT_TRUE(Records()->empty());
  EXPECT_FALSE(manager_.UpdateReceived());
  // The current session's own update goes through.
  EXPECT_EQ(ReadVariation("SessionExp"), 0);
  RunPendingUITasks();
  EXPECT_EQ(ReadVariation("SessionExp"), 3);
}

// While a switch has withdrawn the previous user's overrides and not yet
// applied the next user's, a read falls back; that must not force control
// over the next user's stored assignment.
TEST_F(ManagerTest, AFallbackSeenMidSwitchLeavesTheNextUsersAssignment) {
  Register("SwitchExp");
  const std::string stored = R"({"SwitchExp":"{\"variation\":\"challenger\"}"})";
  WriteStateFile("next", stored);
  Initialize("previous");
  testsupport::FaultFileSystem midSwitch;
  midSwitch.onOpenForRead = [] { EXPECT_EQ(ReadVariation("SwitchExp"), 0); };
  {
    kelcore::filesupport::ScopedFileSystem scope(midSwitch);
    Initialize("next");
  }
  RunPendingUITasks();
  EXPECT_EQ(ReadVariation("SwitchExp"), 1);
  EXPECT_EQ(testsupport::ReadAll(StateFile("next")), stored);
  EXPECT_FALSE(manager_.UpdateReceived());
}

TEST_F(ManagerTest, ASaveThatFailsIsReportedAndRetriedByTheNextFallback) {
  Register("RetryExp");
  Initialize("retry");
  testsupport::FaultFileSystem faults;
  kelcore::filesupport::ScopedFileSystem scope(faults);
  // A save that cannot write and one that cannot take the lock.
  for (std::atomic<bool>* fault : {&faults.failCreateFile, &faults.failLock}) {
    *fault = true;
    EXPECT_EQ(ReadVariation("RetryExp"), 0);
    try {
      RunPendingUITasks();
      ADD_FAILURE() << "the failed save was not reported";
    } catch (const kelcore::filesupport::FileError& e) {
      EXPECT_NE(std::string(e.what()).find("ABExperiment"), std::string::npos) << e.what();
    }
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

#ifndef _WIN32
TEST_F(ManagerTest, ADocumentsFolderThatIsNotUtf8IsAnErrorNotAnotherFolder) {
  const std::string folder = docs_.path().u8string() + "/docs\xFF";
  std::filesystem::create_directory(folder);
  testsupport::ScopedUserDocsDir noFolderSet{std::filesystem::path()};
  testsupport::ScopedEnvironmentVariable docsVariable("KEL_USER_DOCS_DIR", folder.c_str());
  EXPECT_THROW(Initialize("u"), kelcore::filesupport::FileError);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(docs_.path()),
                          std::filesystem::directory_iterator()),
            1);  // only the folder itself: nothing written beside it
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}
#endif

}  // namespace
}  // namespace kelabexperiment
