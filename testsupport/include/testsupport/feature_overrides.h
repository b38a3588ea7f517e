#pragma once

#include <string>

#include "kelappsupport/feature/feature_inspection.h"

namespace testsupport {

// The overrides of an experiment's four features, read from the override
// table without reading the features (which could take a default and fire
// handlers): "variation|challengerType|variationId|campaignId", "-" for a
// feature without override.
inline std::string FeatureOverrides(const std::string& experimentId) {
  const auto overrides = kelappsupport::feature::SnapshotOverrides();
  std::string out;
  for (const char* member : {"variation", "challengerType", "variationId", "campaignId"}) {
    auto it = overrides.find(experimentId + "_" + member);
    if (!out.empty()) out += "|";
    if (it == overrides.end()) {
      out += "-";
    } else if (const int* n = std::get_if<int>(&it->second.value)) {
      out += std::to_string(*n);
    } else {
      out += std::get<std::string>(it->second.value);
    }
  }
  return out;
}

}  // namespace testsupport
