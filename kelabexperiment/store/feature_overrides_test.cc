#include "store/feature_overrides.h"

#include <gtest/gtest.h>

#include "base/module_constants.h"
#include "testsupport/printers.h"

namespace kelabexperiment {
namespace {

UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

TEST(FeatureNamesTest, EachNameIsTheIdentifierAndTheMemberWhateverCameBefore) {
  for (const char* id : {"Exp", "", "An_Experiment_With_Underscores_And_A_Long_Name"}) {
    FeatureNames names(T(id));
    // Longer, shorter, then longer again: the buffer must not keep old bytes.
    for (const UTF8String* member :
         {&kChallengerTypeMember, &kVariationMember, &kCampaignIdMember, &kVariationIdMember}) {
      EXPECT_EQ(names.Of(*member), FeatureName(T(id), *member));
      EXPECT_EQ(names.Of(*member), T(std::string(id) + "_" + kelcore::string::ToStd(*member)));
    }
  }
}

}  // namespace
}  // namespace kelabexperiment
