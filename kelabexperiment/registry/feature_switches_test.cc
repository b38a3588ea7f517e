#include "registry/feature_switches.h"

#include <optional>

#include <gtest/gtest.h>

#include "registry/identifier_registry.h"
#include "testsupport/scoped_debug_entry.h"

namespace kelabexperiment {
namespace {

using testsupport::ScopedDebugEntry;

// Only the exact text "true" turns a switch on; the description says why not.
TEST(FeatureSwitchesTest, TheDescriptionNamesTheEntryAndWhyItTurnsTheSwitchOff) {
  const struct {
    std::optional<std::string> entry;
    bool defaultOn;
    bool on;
    std::string reason;
  } cases[] = {
      {std::nullopt, true, true, ""},
      {std::nullopt, false, false, "there is no entry, and the switch is off by default"},
      {"true", false, true, ""},
      {" true", true, false,
       R"(the text " true" has blanks around true; only the exact text "true" turns it on)"},
      {"true ", true, false,
       R"(the text "true " has blanks around true; only the exact text "true" turns it on)"},
      {"truee", true, false,
       R"(the text "truee" is not true; only the exact text "true" turns it on)"},
      {"TRUE", true, false,
       R"(the text "TRUE" is not in lower case; only the exact text "true" turns it on)"},
      {"", true, false, R"(the text "" is empty; only the exact text "true" turns it on)"},
      {"1", true, false, R"(the text "1" is not true; only the exact text "true" turns it on)"},
      {"false", true, false, R"(the text is "false")"},
  };
  for (const auto& c : cases) {
    ScopedDebugEntry entry(kExperimentsSwitchKey, c.entry);
    const FeatureSwitchState state = DescribeFeatureSwitch(kExperimentsSwitchKey, c.defaultOn);
    const std::string shown = c.entry.value_or("(none)");
    EXPECT_EQ(state.on, c.on) << shown;
    EXPECT_EQ(state.on, ReadFeatureSwitch(kExperimentsSwitchKey, c.defaultOn)) << shown;
    EXPECT_EQ(state.hasEntry, c.entry.has_value()) << shown;
    EXPECT_EQ(kelcore::string::ToStd(state.text), c.entry.value_or("")) << shown;
    EXPECT_EQ(state.reason, c.reason) << shown;
  }
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
