#pragma once

#include "host/kelcore.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// The feature name of one record member: the identifier, "_", the member
// name, unchanged ("Exp" and "variation" give "Exp_variation").
UTF8String FeatureName(const UTF8String& experimentId, const UTF8String& member);

// The integer the variation feature answers for a kind (0 for any value
// outside the four kinds).
int VariationFeatureValue(VariationKind kind);

// Sets the experiment's four feature overrides from the record, in the order
// variation, challengerType, variationId, campaignId, all in the experiment
// category. Absent texts are set as empty texts. Host errors pass through;
// overrides set before the error stay set.
void ApplyOverrides(const UTF8String& experimentId, const VariationRecord& record);

}  // namespace kelabexperiment
