#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <variant>

#include "kelappsupport/feature/feature_overrides.h"
#include "kelappsupport/kelappsupport_export.h"

namespace kelappsupport::feature {

// What hosts and tools (kelab run) read of the feature service to show it.

// An override as the service holds it.
struct OverrideValue {
  std::variant<int, std::string> value;
  OverrideDataCategory category;
  bool operator==(const OverrideValue& other) const {
    return value == other.value && category == other.category;
  }
};

// Every override set now, by feature name (bytes as std::string).
KELAPPSUPPORT_EXPORT std::map<std::string, OverrideValue> SnapshotOverrides();
// How many default-value-taken handlers are registered for the feature.
KELAPPSUPPORT_EXPORT std::size_t CountNotifications(const UTF8String& featureName);

}  // namespace kelappsupport::feature
