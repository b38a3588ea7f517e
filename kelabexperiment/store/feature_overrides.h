#pragma once

#include <cstddef>

#include "host/kelcore.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// The feature name of one record member: the identifier, "_", the member
// name, unchanged ("Exp" and "variation" give "Exp_variation").
UTF8String FeatureName(const UTF8String& experimentId, const UTF8String& member);

// The feature names of one experiment, built in turn in one buffer, so that
// naming an experiment's four features allocates once, not four times, and
// naming many experiments in turn allocates only when a longer name comes.
// Not thread-safe; keeps a reference to nothing.
class FeatureNames {
 public:
  FeatureNames() = default;
  // Names experimentId's features from now on, keeping the buffer.
  void Rebase(const UTF8String& experimentId);
  // FeatureName(experimentId, member); valid until the next call.
  const UTF8String& Of(const UTF8String& member);

 private:
  UTF8String name_;
  std::size_t stem_ = 0;
};

// The integer the variation feature answers for a kind (0 for any value
// outside the four kinds).
int VariationFeatureValue(VariationKind kind);

// Sets the experiment's four feature overrides from the record, in the order
// variation, challengerType, variationId, campaignId, all in the experiment
// category, naming them in `names` (rebased to experimentId). Absent texts
// are set as empty texts. Host errors pass through; overrides set before the
// error stay set.
void ApplyOverrides(const UTF8String& experimentId, const VariationRecord& record,
                    FeatureNames& names);

// Removes the experiment's four feature overrides, naming them in `names`
// (rebased to experimentId), so that a loop over many experiments can lend
// one buffer.
void WithdrawOverrides(const UTF8String& experimentId, FeatureNames& names);

}  // namespace kelabexperiment
