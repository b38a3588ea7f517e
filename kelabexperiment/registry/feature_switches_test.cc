#include "registry/feature_switches.h"

#include <optional>

#include <gtest/gtest.h>

#include "registry/identifier_registry.h"
#include "testsupport/scoped_debug_entry.h"

namespace kelabexperiment {
namespace {

using testsupport::ScopedDebugEntry;

TEST(FeatureSwitchesTest, OnlyTheExactTextTrueTurnsASwitchOn) {
  {
    ScopedDebugEntry none(kExperimentsSwitchKey, std::nullopt);
    EXPECT_TRUE(ReadFeatureSwitch(kExperimentsSwitchKey, true));  // no entry: the default
    EXPECT_FALSE(ReadFeatureSwitch(kExperimentsSwitchKey, false));
  }
  for (const char* off : {"false", "TRUE", "True", "1", "", "true ", " true", "truee"}) {
    ScopedDebugEntry entry(kExperimentsSwitchKey, off);
    EXPECT_FALSE(ReadFeatureSwitch(kExperimentsSwitchKey, true)) << '"' << off << '"';
  }
  ScopedDebugEntry on(kExperimentsSwitchKey, "true");
  EXPECT_TRUE(ReadFeatureSwitch(kExperimentsSwitchKey, false));
}

TEST(FeatureSwitchesTest, EachSwitchGatesOnlyItsOwnKindAndIsReadOnce) {
  const auto id = ImmutableString::_PrivateCreateStatic("SwitchExp");
  std::optional<ScopedDebugEntry> experiments(std::in_place, kExperimentsSwitchKey, "false");
  ScopedDebugEntry messaging(kMessagingSwitchKey, std::nullopt);
  IdentifierRegistry registry;
  experiments.emplace(kExperimentsSwitchKey, "true");  // too late: read at creation
  registry.RegisterExperiment(id);
  registry.RegisterMessaging(id);
  EXPECT_TRUE(registry.CopyExperiments().empty());
  EXPECT_EQ(registry.CopyMessaging().size(), 1u);

  ScopedDebugEntry messagingOff(kMessagingSwitchKey, "no");
  experiments.reset();
  IdentifierRegistry other;
  other.RegisterExperiment(id);
  other.RegisterMessaging(id);
  EXPECT_EQ(other.CopyExperiments().size(), 1u);
  EXPECT_TRUE(other.CopyMessaging().empty());
}

}  // namespace
}  // namespace kelabexperiment
