#include "store/feature_overrides.h"

#include "base/module_constants.h"
#include "host/kelappsupport.h"

namespace kelabexperiment {

using kelappsupport::feature::OverrideDataCategory;

UTF8String FeatureName(const UTF8String& experimentId, const UTF8String& member) {
  UTF8String name;
  name.reserve(experimentId.size() + kFeatureNameSeparator.size() + member.size());
  name.append(experimentId).append(kFeatureNameSeparator).append(member);
  return name;
}

void FeatureNames::Rebase(const UTF8String& experimentId) {
  stem_ = experimentId.size() + kFeatureNameSeparator.size();
  name_.clear();
  name_.reserve(stem_ + kChallengerTypeMember.size());  // the longest member name
  name_.append(experimentId).append(kFeatureNameSeparator);
}

const UTF8String& FeatureNames::Of(const UTF8String& member) {
  name_.resize(stem_);
  name_.append(member);
  return name_;
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

void ApplyOverrides(const UTF8String& experimentId, const VariationRecord& record,
                    FeatureNames& names) {
  constexpr auto kCategory = OverrideDataCategory::kExperiment;
  namespace feature = kelappsupport::feature;
  names.Rebase(experimentId);
  feature::SetOverrideData(names.Of(kVariationMember), VariationFeatureValue(record.variation),
                           kCategory);
  feature::SetOverrideStringData(names.Of(kChallengerTypeMember),
                                 TextOrEmpty(record.challengerType), kCategory);
  feature::SetOverrideStringData(names.Of(kVariationIdMember), TextOrEmpty(record.variationId),
                                 kCategory);
  feature::SetOverrideStringData(names.Of(kCampaignIdMember), TextOrEmpty(record.campaignId),
                                 kCategory);
}

void WithdrawOverrides(const UTF8String& experimentId, FeatureNames& names) {
  names.Rebase(experimentId);
  for (const UTF8String* member :
       {&kVariationMember, &kVariationIdMember, &kCampaignIdMember, &kChallengerTypeMember}) {
    kelappsupport::feature::RemoveOverride(names.Of(*member));
  }
}

}  // namespace kelabexperiment
