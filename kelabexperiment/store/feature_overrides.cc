#include "store/feature_overrides.h"

#include "host/kelappsupport.h"
#include "startup/module_constants.h"

namespace kelabexperiment {

using kelappsupport::feature::OverrideDataCategory;

UTF8String FeatureName(const UTF8String& experimentId, const UTF8String& member) {
  UTF8String name;
  name.reserve(experimentId.size() + kFeatureNameSeparator.size() + member.size());
  name.append(experimentId).append(kFeatureNameSeparator).append(member);
  return name;
}

int VariationFeatureValue(VariationKind kind) {
  switch (kind) {
    case VariationKind::Challenger:
      return 1;
    case VariationKind::Disqualified:
      return 2;
    case VariationKind::ForcedControl:
      return 3;
    case VariationKind::Control:
      break;
  }
  return 0;
}

void ApplyOverrides(const UTF8String& experimentId, const VariationRecord& record) {
  constexpr auto kCategory = OverrideDataCategory::kExperiment;
  namespace feature = kelappsupport::feature;
  feature::SetOverrideData(FeatureName(experimentId, kVariationMember),
                           VariationFeatureValue(record.variation), kCategory);
  feature::SetOverrideStringData(FeatureName(experimentId, kChallengerTypeMember),
                                 TextOrEmpty(record.challengerType), kCategory);
  feature::SetOverrideStringData(FeatureName(experimentId, kVariationIdMember),
                                 TextOrEmpty(record.variationId), kCategory);
  feature::SetOverrideStringData(FeatureName(experimentId, kCampaignIdMember),
                                 TextOrEmpty(record.campaignId), kCategory);
}

}  // namespace kelabexperiment
