#include "manager/ab_experiment_manager.h"

#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file_system.h"
#include "manager/manager_test_support.h"
#include "manager/user_state_path.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/scoped_environment.h"

namespace kelabexperiment {
namespace {

using kelappsupport::feature::ScopedCallRecorder;

const char kChallenger[] = R"({"variation":"challenger","challengerType":"copy"})";
const char kIds[] = R"({"variationId":"v7","campaignId":7})";

TEST_F(ManagerTest, InitializeWithdrawsThenLoadsThenWatchesInHandleOrder) {
  Register("SeqB");
  Register("SeqA");
  ScopedCallRecorder recorder;
  EXPECT_EQ(Initialize("seq-user"), static_cast<int>(0xA00F0001u));
  EXPECT_EQ(CallsFor(recorder, "Seq"), (std::vector<std::string>{
                                           "remove SeqB_variation",
                                           "remove SeqB_variationId",
                                           "remove SeqB_campaignId",
                                           "remove SeqB_challengerType",
                                           "remove SeqA_variation",
                                           "remove SeqA_variationId",
                                           "remove SeqA_campaignId",
                                           "remove SeqA_challengerType",
                                           "watch SeqB_variation",
                                           "watch SeqA_variation",
                                       }));
  EXPECT_FALSE(manager_->IsESDKInitializeComplete());
  EXPECT_EQ(std::filesystem::file_size(StateFile("seq-user")), 0u);
  ASSERT_NE(Records(), nullptr);
  EXPECT_TRUE(Records()->empty());

  Initialize("seq-user");  // every run adds one more handler
  EXPECT_EQ(kelappsupport::feature::CountNotifications(T("SeqA_variation")), 2u);
}

TEST_F(ManagerTest, EmptyUserHasAStoreWithoutFile) {
  Register("EmptyUserExp");
  EXPECT_EQ(Initialize(""), static_cast<int>(0xA00F0001u));
  EXPECT_TRUE(std::filesystem::is_empty(docs_.path()));
  ASSERT_NE(Records(), nullptr);
  EXPECT_EQ(kelappsupport::feature::CountNotifications(T("EmptyUserExp_variation")), 1u);
  manager_->UpdateFromDataSource(DataSourceType::DefaultValueTaken, T("EmptyUserExp"), T(""),
                                 T(""));
  EXPECT_EQ(Records()->size(), 1u);  // kept in memory
  EXPECT_TRUE(std::filesystem::is_empty(docs_.path()));
}

TEST_F(ManagerTest, ExistingFileIsLoadedAndLeftUntouched) {
  const std::string text = R"({"LoadExp":"{\"variation\":\"challenger\"}"})";
  std::filesystem::create_directories(StateFile("reader").parent_path());
  testsupport::WriteAll(StateFile("reader"), text);
  Initialize("reader");
  EXPECT_EQ(testsupport::ReadAll(StateFile("reader")), text);
  EXPECT_EQ(kelappsupport::feature::ReadIntFeature(T("LoadExp_variation"), -1).value, 1);
}

TEST_F(ManagerTest, SwitchingUsersWithdrawsEveryOverrideOfThePreviousUser) {
  Register("LeakReg");
  std::filesystem::create_directories(StateFile("first").parent_path());
  testsupport::WriteAll(StateFile("first"),
                        R"({"LeakReg":"{\"variation\":\"challenger\",\"challengerType\":\"c\"}",)"
                        R"("LeakUnreg":"{\"variation\":\"challenger\"}"})");
  Initialize("first");
  EXPECT_TRUE(HasOverride("LeakReg_challengerType"));
  EXPECT_TRUE(HasOverride("LeakUnreg_variation"));
  Initialize("second");
  for (const char* feature :
       {"LeakReg_variation", "LeakReg_challengerType", "LeakReg_variationId", "LeakReg_campaignId",
        "LeakUnreg_variation", "LeakUnreg_challengerType"}) {
    EXPECT_FALSE(HasOverride(feature)) << feature;
  }
  Initialize("first");  // the same user gets everything back from the file
  EXPECT_TRUE(HasOverride("LeakReg_challengerType"));
  EXPECT_TRUE(HasOverride("LeakUnreg_variation"));
}

TEST_F(ManagerTest, UnsafeUserIdentifierFailsBeforeTouchingTheDisk) {
  Register("UnsafeExp");
  for (const std::string& user :
       {std::string(".."), std::string("a/b"), std::string("x\\y"), std::string(256, 'u'),
        std::string("COM\xC2\xB2"), std::string("CONIN$")}) {
    EXPECT_THROW(Initialize(user), InvalidUserIdentifierError) << user;
    EXPECT_TRUE(std::filesystem::is_empty(docs_.path())) << user;
    EXPECT_EQ(Records(), nullptr);
  }
  EXPECT_EQ(kelappsupport::feature::CountNotifications(T("UnsafeExp_variation")), 0u);
}

TEST_F(ManagerTest, MalformedStateFileFailsInitializeAndLeavesNoStore) {
  std::filesystem::create_directories(StateFile("broken").parent_path());
  testsupport::WriteAll(StateFile("broken"), "[1,2]");
  EXPECT_THROW(Initialize("broken"), boost::bad_any_cast);
  EXPECT_EQ(Records(), nullptr);
  EXPECT_EQ(testsupport::ReadAll(StateFile("broken")), "[1,2]");
  // An update meanwhile only sets the flags.
  manager_->UpdateFromDataSource(DataSourceType::DefaultValueTaken, T("X"), T(""), T(""));
  EXPECT_TRUE(manager_->UpdateReceived());
  EXPECT_TRUE(manager_->ForcedControl());
  EXPECT_EQ(testsupport::ReadAll(StateFile("broken")), "[1,2]");
  Initialize("fresh");
  EXPECT_FALSE(manager_->UpdateReceived());
}

TEST_F(ManagerTest, UpdateFlagsSwitchToForcingAndStayThereUntilInitialize) {
  const auto other = static_cast<DataSourceType>(2);
  const auto variationOf = [&](const char* id) { return Records()->at(T(id)).variation; };
  Initialize("flags");
  manager_->UpdateFromDataSource(other, T("F1"), T(kChallenger), T(kIds));  // Idle -> Passing
  EXPECT_TRUE(manager_->UpdateReceived());
  EXPECT_FALSE(manager_->ForcedControl());
  EXPECT_EQ(variationOf("F1"), VariationKind::Challenger);
  EXPECT_EQ(Records()->at(T("F1")).campaignId, T("7"));

  manager_->UpdateFromDataSource(DataSourceType::DefaultValueTaken, T("F2"), T(kChallenger),
                                 T(kIds));  // Passing -> Forcing: own payloads ignored
  EXPECT_TRUE(manager_->ForcedControl());
  EXPECT_EQ(variationOf("F2"), VariationKind::ForcedControl);
  manager_->UpdateFromDataSource(other, T("F3"), T(kChallenger), T(kIds));  // stays Forcing
  EXPECT_EQ(variationOf("F3"), VariationKind::ForcedControl);

  Initialize("flags");  // back to Idle: the next update merges its own payloads
  EXPECT_FALSE(manager_->UpdateReceived());
  manager_->UpdateFromDataSource(other, T("F4"), T(kChallenger), T(kIds));
  EXPECT_EQ(variationOf("F4"), VariationKind::Challenger);
  EXPECT_EQ(variationOf("F2"), VariationKind::ForcedControl);  // reloaded from the file
}

TEST_F(ManagerTest, UpdateBeforeAnyInitializeOnlySetsFlags) {
  manager_->UpdateFromDataSource(DataSourceType::DefaultValueTaken, T("Early"), T(""), T(""));
  EXPECT_TRUE(manager_->UpdateReceived());
  EXPECT_TRUE(manager_->ForcedControl());
  EXPECT_EQ(Records(), nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(docs_.path()));
}

}  // namespace
}  // namespace kelabexperiment

namespace kelabexperiment {
namespace {

// A feature read as application code does it; a fallback queues an update.
int ReadVariation(const std::string& experiment) {
  return kelappsupport::feature::ReadIntFeature(T(experiment + "_variation"), 0).value;
}

TEST_F(ManagerTest, AnUpdateQueuedForOneUserNeverReachesTheNext) {
  Register("SessionExp");
  Initialize("first");
  EXPECT_EQ(ReadVariation("SessionExp"), 0);  // default taken: update queued for "first"
  Initialize("second");
  kelscripting::threads::RunPendingUITasks();
  EXPECT_EQ(std::filesystem::file_size(StateFile("first")), 0u);
  EXPECT_EQ(std::filesystem::file_size(StateFile("second")), 0u);
  EXPECT_TRUE(Records()->empty());
  EXPECT_FALSE(manager_->UpdateReceived());
  // The current session's own update goes through.
  EXPECT_EQ(ReadVariation("SessionExp"), 0);
  kelscripting::threads::RunPendingUITasks();
  EXPECT_EQ(ReadVariation("SessionExp"), 3);
  EXPECT_EQ(Records()->count(T("SessionExp")), 1u);
}

TEST_F(ManagerTest, ASaveThatFailsIsReportedAndRetriedByTheNextFallback) {
  Register("RetryExp");
  Initialize("retry");
  testsupport::FaultFileSystem faults;
  kelcore::filesupport::ScopedFileSystem scope(faults);
  faults.failCreateFile = true;
  for (int read = 0; read < 3; ++read) {
    EXPECT_EQ(ReadVariation("RetryExp"), 0);
    try {
      kelscripting::threads::RunPendingUITasks();
      ADD_FAILURE() << "the failed save was not reported";
    } catch (const kelcore::filesupport::FileError& e) {
      EXPECT_NE(std::string(e.what()).find("ABExperiment"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(faults.locks.load(), 3);  // one attempt per update, no more
  EXPECT_EQ(std::filesystem::file_size(StateFile("retry")), 0u);

  // Once the disk takes writes again, the host's ordinary reads and UI loop
  // bring the record to the file.
  faults.failCreateFile = false;
  EXPECT_EQ(ReadVariation("RetryExp"), 0);
  kelscripting::threads::RunPendingUITasks();
  EXPECT_EQ(ReadVariation("RetryExp"), 3);
  EXPECT_NE(testsupport::ReadAll(StateFile("retry")).find("forced_control"), std::string::npos);
  EXPECT_EQ(kelscripting::threads::PendingUITaskCount(), 0u);
}

#ifndef _WIN32
TEST_F(ManagerTest, ADocumentsFolderThatIsNotUtf8IsAnErrorNotAnotherFolder) {
  const std::string folder = docs_.path().u8string() + "/docs\xFF";
  std::filesystem::create_directory(folder);
  kelcore::filesupport::Dir::SetUserDocsDir(UTF16String());
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
