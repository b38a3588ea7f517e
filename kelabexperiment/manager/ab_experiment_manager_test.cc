#include "manager/ab_experiment_manager.h"

#include "kelappsupport/feature/feature_reads.h"
#include "manager/manager_test_support.h"
#include "manager/user_state_path.h"

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
  for (const char* user : {"..", "a/b", "x\\y"}) {
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
