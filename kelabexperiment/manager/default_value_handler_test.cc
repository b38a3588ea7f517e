#include "manager/default_value_handler.h"

#include "manager/manager_test_support.h"

namespace kelabexperiment {
namespace {

TEST_F(ManagerTest, FindsTheExperimentAFeatureNamesAndQueuesItsForcedUpdate) {
  [[maybe_unused]] const ImmutableString upperFirst = Id("CASEB");  // interned before "caseb"
  // "Nest" is interned before "Nest_b": earlier in handle order.
  for (const char* id :
       {"findcase", "caf\xC3\xA9", "Nest", "Nest_b", "twin", "TWIN", "caseb", "CASEB"}) {
    Register(id);
  }
  const std::pair<const char*, const char*> cases[] = {
      {"FINDCASE_VARIATION", "findcase"},
      {"FindCase_variationId", "findcase"},  // contained, not exact
      {"CAF\xC3\x89_variation", ""},         // only ASCII letters have cases
      {"nothing_here_variation", ""},
      {"", ""},
      // An exact variation name wins over an earlier contained identifier;
      // without one, the first contained identifier in handle order wins.
      {"Nest_b_variation", "Nest_b"},
      {"Nest_variation", "Nest"},
      {"x_Nest_b_other", "Nest"},
      // Of identifiers that differ only in letter case, each owns its own
      // variation feature byte for byte; any other casing goes to the lowest
      // handle, whichever registered first.
      {"TWIN_variation", "TWIN"},
      {"twin_variation", "twin"},
      {"Twin_variation", "twin"},
      {"caseb_variation", "caseb"},
      {"CaseB_variation", "CASEB"},
      {"CASEB_VARIATION", "CASEB"},
  };
  for (const auto& [feature, experiment] : cases) {
    EXPECT_EQ(FindExperimentForFeature(T(feature)), T(experiment)) << feature;
  }

  // The handler queues one forced update per call, and none for a stranger.
  Initialize("queue-user");
  OnDefaultValueTaken(&manager_, T("FINDCASE_VARIATION"));
  OnDefaultValueTaken(&manager_, T("nothing_here_variation"));
  EXPECT_EQ(kelscripting::threads::PendingUITaskCount(), 1u);
  EXPECT_TRUE(Records()->empty());  // nothing changes until the UI thread runs it
  kelscripting::threads::RunPendingUITasks();
  EXPECT_EQ(Records()->at(T("findcase")).variationId, T("forced_control"));
  EXPECT_EQ(Records()->size(), 1u);
}

}  // namespace
}  // namespace kelabexperiment
