#include <atomic>
#include <limits>
#include <map>
#include <new>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/feature/feature_overrides.h"
#include "kelappsupport/feature/feature_reads.h"

namespace kelappsupport::feature {
namespace {

UTF8String Bytes(std::string_view text) { return kelcore::string::FromStd(text); }

class FeatureServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFeatureService(); }
  void TearDown() override { ResetFeatureService(); }
};

TEST_F(FeatureServiceTest, OverrideAnswersUntilRemoved) {
  SetOverrideData(Bytes("Exp_variation"), 3, OverrideDataCategory::kExperiment);
  SetOverrideStringData(Bytes("Exp_variationId"), Bytes("forced_control"),
                        OverrideDataCategory::kExperiment);
  auto read = ReadIntFeature(Bytes("Exp_variation"), -1);
  EXPECT_EQ(read.value, 3);
  EXPECT_TRUE(read.fromOverride);
  const auto text = ReadStringFeature(Bytes("Exp_variationId"), Bytes(""));
  EXPECT_EQ(text.value, Bytes("forced_control"));
  EXPECT_TRUE(text.fromOverride);
  // An override of the other kind does not answer.
  EXPECT_FALSE(ReadStringFeature(Bytes("Exp_variation"), Bytes("d")).fromOverride);

  RemoveOverride(Bytes("Exp_variation"));
  RemoveOverride(Bytes("never-set"));
  read = ReadIntFeature(Bytes("Exp_variation"), -1);
  EXPECT_EQ(read.value, -1);
  EXPECT_FALSE(read.fromOverride);
  const auto snapshot = SnapshotOverrides();
  ASSERT_EQ(snapshot.size(), 1u);
  EXPECT_EQ(snapshot.at("Exp_variationId"),
            (OverrideValue{std::string("forced_control"), OverrideDataCategory::kExperiment}));
}

TEST_F(FeatureServiceTest, DefaultTakenRunsThatFeaturesHandlersInOrder) {
  std::vector<std::string> calls;
  const unsigned first = RegisterDefaultValueTakenNotification(
      Bytes("A_variation"),
      [&](UTF8String n) { calls.push_back("1:" + kelcore::string::ToStd(n)); });
  const unsigned second = RegisterDefaultValueTakenNotification(
      Bytes("A_variation"),
      [&](UTF8String n) { calls.push_back("2:" + kelcore::string::ToStd(n)); });
  EXPECT_NE(first, 0u);
  EXPECT_NE(first, second);
  EXPECT_EQ(CountNotifications(Bytes("A_variation")), 2u);

  ReadIntFeature(Bytes("B_variation"), 0);  // no handlers for B
  EXPECT_TRUE(calls.empty());
  ReadIntFeature(Bytes("A_variation"), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"1:A_variation", "2:A_variation"}));

  SetOverrideData(Bytes("A_variation"), 1, OverrideDataCategory::kExperiment);
  ReadIntFeature(Bytes("A_variation"), 0);  // answered by the override: no handler
  EXPECT_EQ(calls.size(), 2u);

  // A handler may call back into the service.
  RegisterDefaultValueTakenNotification(Bytes("X"), [](UTF8String name) {
    SetOverrideData(name, 7, OverrideDataCategory::kExperiment);
  });
  EXPECT_FALSE(ReadIntFeature(Bytes("X"), 0).fromOverride);
  EXPECT_EQ(ReadIntFeature(Bytes("X"), 0).value, 7);
}

TEST_F(FeatureServiceTest, RecorderSeesCallsInOrder) {
  ScopedCallRecorder recorder;
  RemoveOverride(Bytes("E_variation"));
  SetOverrideStringData(Bytes("E_campaignId"), Bytes(""), OverrideDataCategory::kExperiment);
  RegisterDefaultValueTakenNotification(Bytes("E_variation"), [](UTF8String) {});
  ReadIntFeature(Bytes("E_variation"), 0);
  std::vector<FeatureCall::Kind> kinds;
  for (const FeatureCall& call : recorder.Calls()) kinds.push_back(call.kind);
  EXPECT_EQ(kinds, (std::vector<FeatureCall::Kind>{
                       FeatureCall::Kind::kRemove, FeatureCall::Kind::kSetString,
                       FeatureCall::Kind::kRegister, FeatureCall::Kind::kDefaultTaken}));
  EXPECT_EQ(std::get<std::string>(recorder.Calls().at(1).value), "");
  EXPECT_EQ(recorder.Calls().at(3).name, "E_variation");
}

TEST_F(FeatureServiceTest, ASetFailureScopeFailsSetsFromTheNthOnAndThenRestores) {
  constexpr auto kCategory = OverrideDataCategory::kExperiment;
  {
    ScopedSetFailure failure(1);
    SetOverrideData(Bytes("A"), 1, kCategory);
    {
      ScopedSetFailure inner(0);
      EXPECT_THROW(SetOverrideStringData(Bytes("B"), Bytes("b"), kCategory), std::bad_alloc);
    }
    EXPECT_THROW(SetOverrideData(Bytes("A"), 2, kCategory), std::bad_alloc);
    EXPECT_THROW(SetOverrideStringData(Bytes("B"), Bytes("b"), kCategory), std::bad_alloc);
    RemoveOverride(Bytes("A"));  // only sets fail
  }
  SetOverrideData(Bytes("C"), 3, kCategory);
  EXPECT_EQ(SnapshotOverrides(),
            (std::map<std::string, OverrideValue>{{"C", OverrideValue{3, kCategory}}}));
}

// A reservation is a hint: it changes no answer, records nothing, and may
// come from any thread while others set overrides.
TEST_F(FeatureServiceTest, ReserveOverridesChangesNoAnswer) {
  constexpr auto kCategory = OverrideDataCategory::kExperiment;
  SetOverrideData(Bytes("R_variation"), 2, kCategory);
  ScopedCallRecorder recorder;
  std::thread reserver([] {
    for (std::size_t i = 0; i < 200; ++i) ReserveOverrides(i * 50, i * 1000);
  });
  for (int i = 0; i < 200; ++i) SetOverrideData(Bytes("R" + std::to_string(i)), i, kCategory);
  reserver.join();
  EXPECT_THROW(ReserveOverrides(std::numeric_limits<std::size_t>::max(), 0), std::length_error);
  EXPECT_EQ(recorder.Calls().size(), 200u);
  EXPECT_EQ(SnapshotOverrides().size(), 201u);
  EXPECT_EQ(ReadIntFeature(Bytes("R_variation"), 0).value, 2);
  EXPECT_EQ(ReadIntFeature(Bytes("R199"), 0).value, 199);
}

TEST_F(FeatureServiceTest, ConcurrentWritersAndReadersStayConsistent) {
  std::atomic<int> handled{0};
  RegisterDefaultValueTakenNotification(Bytes("F"), [&](UTF8String) { ++handled; });
  constexpr int kRounds = 2000;
  std::thread writer([] {
    for (int i = 0; i < kRounds; ++i) {
      SetOverrideData(Bytes("F"), i, OverrideDataCategory::kExperiment);
      RemoveOverride(Bytes("F"));
    }
  });
  int defaults = 0;
  for (int i = 0; i < kRounds; ++i) {
    const auto read = ReadIntFeature(Bytes("F"), -1);
    if (!read.fromOverride) {
      EXPECT_EQ(read.value, -1);
      ++defaults;
    }
  }
  writer.join();
  EXPECT_EQ(handled.load(), defaults);
}

}  // namespace
}  // namespace kelappsupport::feature
