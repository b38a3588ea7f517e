#include <atomic>
#include <limits>
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
  EXPECT_EQ(ReadStringFeature(Bytes("Exp_variationId"), Bytes("")).value, Bytes("forced_control"));
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
}

TEST_F(FeatureServiceTest, HandlerMayCallBackIntoTheService) {
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
  const auto calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].kind, FeatureCall::Kind::kRemove);
  EXPECT_EQ(calls[1].kind, FeatureCall::Kind::kSetString);
  EXPECT_EQ(std::get<std::string>(calls[1].value), "");
  EXPECT_EQ(calls[2].kind, FeatureCall::Kind::kRegister);
  EXPECT_EQ(calls[3].kind, FeatureCall::Kind::kDefaultTaken);
  EXPECT_EQ(calls[3].name, "E_variation");
}

// Thousands of overrides, as a host sets at start-up: replacing, kind changes
// and removals must leave exactly what a plain ordered map would hold.
TEST_F(FeatureServiceTest, ManyOverridesMatchAnOrderedModel) {
  std::map<std::string, OverrideValue> model;
  constexpr auto kCategory = OverrideDataCategory::kExperiment;
  for (int i = 0; i < 5000; ++i) {
    const std::string name = "Experiment" + std::to_string(i % 1700) + "_variationId";
    if (i % 7 == 0) {
      SetOverrideData(Bytes(name), i, kCategory);
      model.insert_or_assign(name, OverrideValue{i, kCategory});
    } else if (i % 11 == 0) {
      RemoveOverride(Bytes(name));
      model.erase(name);
    } else {
      const std::string text = "value-" + std::to_string(i) + std::string(i % 40, 'x');
      SetOverrideStringData(Bytes(name), Bytes(text), kCategory);
      model.insert_or_assign(name, OverrideValue{text, kCategory});
    }
  }
  EXPECT_EQ(SnapshotOverrides(), model);
  const auto& [name, value] = *model.rbegin();
  if (const auto* text = std::get_if<std::string>(&value.value)) {
    EXPECT_EQ(ReadStringFeature(Bytes(name), Bytes("")).value, Bytes(*text));
  } else {
    EXPECT_EQ(ReadIntFeature(Bytes(name), -1).value, std::get<int>(value.value));
  }
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
