#pragma once

#include <cstddef>

#include "host/kelcore.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// The feature name of one record member: the identifier, "_", the member
// name, unchanged ("Exp" and "variation" give "Exp_variation").
UTF8String FeatureName(const UTF8String& experimentId, const UTF8String& member);

// The feature names of one experiment, built in turn in one buffer, so that
// naming an experiment's four features allocates once, not four times.
// Not thread-safe; keeps a reference to nothing.
class FeatureNames {
 public:
  explicit FeatureNames(const UTF8String& experimentId);
  // FeatureName(experimentId, member); valid until the next call.
  const UTF8String& Of(const UTF8String& member);

 private:
  UTF8String name_;
  std::size_t stem_;
};

// The integer the variation feature answers for a kind (0 for any value
// outside the four kinds).
int VariationFeatureValue(VariationKind kind);

// Sets the experiment's four feature overrides from the record, in the order
// variation, challengerType, variationId, campaignId, all in the experiment
// category. Absent texts are set as empty texts. Host errors pass through;
// overrides set before the error stay set.
void ApplyOverrides(const UTF8String& experimentId, const VariationRecord& record);

// Has the host size its override table for what ApplyOverrides sets for
// every record, so that applying a whole store grows it once. Host errors
// pass through; nothing is set.
void ReserveOverrides(const RecordMap& records);

// Removes the experiment's four feature overrides.
void WithdrawOverrides(const UTF8String& experimentId);

}  // namespace kelabexperiment
