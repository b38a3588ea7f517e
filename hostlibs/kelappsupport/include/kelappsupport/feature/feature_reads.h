#pragma once

#include "kelappsupport/kelappsupport_export.h"
#include "kelcore/string/string_types.h"

namespace kelappsupport::feature {

using kelcore::UTF8String;

template <typename T>
struct FeatureRead {
  T value;
  bool fromOverride;  // false: the default was taken
};

// Reads a feature the way application code does: the override when one of
// the asked kind is set, otherwise `defaultValue`, in which case the feature's
// default-value-taken handlers run before the call returns. An exception from
// a handler reaches the reader, and the remaining handlers do not run.
KELAPPSUPPORT_EXPORT FeatureRead<int> ReadIntFeature(const UTF8String& featureName,
                                                     int defaultValue);
KELAPPSUPPORT_EXPORT FeatureRead<UTF8String> ReadStringFeature(const UTF8String& featureName,
                                                               const UTF8String& defaultValue);

}  // namespace kelappsupport::feature
