#include <atomic>
#include <map>
#include <new>
#include <thread>

#include <gtest/gtest.h>

#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/feature/feature_overrides.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelappsupport/testing/feature_service_testing.h"

namespace kelappsupport::feature {
namespace {

constexpr auto kExperiment = OverrideDataCategory::kExperiment;

UTF8String Bytes(std::string_view text) { return kelcore::string::FromStd(text); }

class FeatureServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFeatureService(); }
  void TearDown() override { ResetFeatureService(); }
};

// A set failure scope lets its first n sets through and fails the rest
// until it ends; the failed sets change nothing.
TEST_F(FeatureServiceTest, OverridesAnswerUntilRemovedAndFailedSetsChangeNothing) {
  SetOverrideData(Bytes("Exp_variation"), 3, kExperiment);
  SetOverrideStringData(Bytes("Exp_variationId"), Bytes("forced_control"), kExperiment);
  auto read = ReadIntFeature(Bytes("Exp_variation"), -1);
  EXPECT_EQ(read.value, 3);
  EXPECT_TRUE(read.fromOverride);
  const auto text = ReadStringFeature(Bytes("Exp_variationId"), Bytes(""));
  EXPECT_EQ(text.value, Bytes("forced_control"));
  EXPECT_TRUE(text.fromOverride);
  // An override of the other kind does not answer.
  EXPECT_FALSE(ReadStringFeature(Bytes("Exp_variation"), Bytes("d")).fromOverride);
  {
    ScopedSetFailure failure(1);
    SetOverrideData(Bytes("Exp_variation"), 4, kExperiment);
    {
      ScopedSetFailure inner(0);
      EXPECT_THROW(SetOverrideStringData(Bytes("B"), Bytes("b"), kExperiment), std::bad_alloc);
    }
    EXPECT_THROW(SetOverrideData(Bytes("Exp_variation"), 5, kExperiment), std::bad_alloc);
    EXPECT_THROW(SetOverrideStringData(Bytes("B"), Bytes("b"), kExperiment), std::bad_alloc);
    RemoveOverride(Bytes("Exp_variation"));  // only sets fail
  }
  RemoveOverride(Bytes("never-set"));
  read = ReadIntFeature(Bytes("Exp_variation"), -1);
  EXPECT_EQ(read.value, -1);
  EXPECT_FALSE(read.fromOverride);
  SetOverrideData(Bytes("C"), 3, kExperiment);
  EXPECT_EQ(SnapshotOverrides(),
            (std::map<std::string, OverrideValue>{
                {"C", OverrideValue{3, kExperiment}},
                {"Exp_variationId", {std::string("forced_control"), kExperiment}}}));
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

  SetOverrideData(Bytes("A_variation"), 1, kExperiment);
  ReadIntFeature(Bytes("A_variation"), 0);  // answered by the override: no handler
  EXPECT_EQ(calls.size(), 2u);

  // A handler may call back into the service.
  RegisterDefaultValueTakenNotification(
      Bytes("X"), [](UTF8String name) { SetOverrideData(name, 7, kExperiment); });
  EXPECT_FALSE(ReadIntFeature(Bytes("X"), 0).fromOverride);
  EXPECT_EQ(ReadIntFeature(Bytes("X"), 0).value, 7);
}

TEST_F(FeatureServiceTest, RecorderSeesCallsInOrder) {
  ScopedCallRecorder recorder;
  RemoveOverride(Bytes("E_variation"));
  SetOverrideStringData(Bytes("E_campaignId"), Bytes(""), kExperiment);
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

// Every read that took its default while another thread sets and removes the
// override runs the handler once.
TEST_F(FeatureServiceTest, ConcurrentWritesAndReadsStayConsistent) {
  constexpr int kRounds = 2000;
  SetOverrideData(Bytes("R_variation"), 2, kExperiment);
  std::atomic<int> handled{0};
  RegisterDefaultValueTakenNotification(Bytes("F"), [&](UTF8String) { ++handled; });
  ScopedCallRecorder recorder;
  std::thread writer([] {
    for (int i = 0; i < kRounds; ++i) {
      SetOverrideData(Bytes("F"), i, kExperiment);
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
  EXPECT_EQ(recorder.Calls().size(), 2u * kRounds + defaults);
  EXPECT_EQ(SnapshotOverrides(),
            (std::map<std::string, OverrideValue>{{"R_variation", OverrideValue{2, kExperiment}}}));
}

}  // namespace
}  // namespace kelappsupport::feature
