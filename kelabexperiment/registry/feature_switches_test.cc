#include "registry/feature_switches.h"

#include <gtest/gtest.h>

#include "kelcore/debug/debug_database.h"
#include "registry/identifier_registry.h"

namespace kelabexperiment {
namespace {

using kelcore::debug::DebugDatabase;
using kelcore::string::FromStd;

class FeatureSwitchesTest : public ::testing::Test {
 protected:
  void SetUp() override { DebugDatabase::Instance().Clear(); }
  void TearDown() override { DebugDatabase::Instance().Clear(); }
  void Set(const char* key, const std::string& value) {
    DebugDatabase::Instance().SetEntry(FromStd(key), FromStd(value));
  }
};

TEST_F(FeatureSwitchesTest, OnlyTheExactTextTrueTurnsASwitchOn) {
  EXPECT_TRUE(ReadFeatureSwitch(kExperimentsSwitchKey, true));  // no entry: default
  EXPECT_FALSE(ReadFeatureSwitch(kExperimentsSwitchKey, false));
  for (const char* off : {"false", "TRUE", "True", "1", "yes", "", "true ", " true", "truee"}) {
    Set(kExperimentsSwitchKey, off);
    EXPECT_FALSE(ReadFeatureSwitch(kExperimentsSwitchKey, true)) << '"' << off << '"';
  }
  Set(kExperimentsSwitchKey, "true");
  EXPECT_TRUE(ReadFeatureSwitch(kExperimentsSwitchKey, false));
}

TEST_F(FeatureSwitchesTest, EachSwitchGatesOnlyItsOwnKindAndIsReadOnce) {
  Set(kExperimentsSwitchKey, "false");
  IdentifierRegistry registry;
  Set(kExperimentsSwitchKey, "true");  // too late: read at creation
  const auto id = ImmutableString::_PrivateCreateStatic("SwitchExp");
  registry.RegisterExperiment(id);
  registry.RegisterMessaging(id);
  EXPECT_TRUE(registry.CopyExperiments().empty());
  EXPECT_EQ(registry.CopyMessaging().size(), 1u);

  Set(kMessagingSwitchKey, "no");
  IdentifierRegistry other;
  other.RegisterExperiment(id);
  other.RegisterMessaging(id);
  EXPECT_EQ(other.CopyExperiments().size(), 1u);
  EXPECT_TRUE(other.CopyMessaging().empty());
}

}  // namespace
}  // namespace kelabexperiment
