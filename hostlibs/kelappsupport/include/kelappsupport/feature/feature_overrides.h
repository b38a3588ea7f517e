#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "kelappsupport/kelappsupport_export.h"
#include "kelcore/string/string_types.h"

namespace kelappsupport::feature {

using kelcore::UTF8String;

// Who set an override; kept with it for diagnostics.
enum class OverrideDataCategory : std::uint32_t {
  kUnspecified = 0,
  kExperiment = 1,  // an A/B-experiment assignment
};

// Feature overrides: a named feature answers its override instead of its
// default. A feature has at most one override, of integer or text kind; a
// new one replaces the old. Every function here is thread-safe. A set that
// runs out of memory throws std::bad_alloc and leaves the overrides as they
// were.
KELAPPSUPPORT_EXPORT void SetOverrideData(const UTF8String& featureName, int value,
                                          OverrideDataCategory category);
KELAPPSUPPORT_EXPORT void SetOverrideStringData(const UTF8String& featureName, UTF8String value,
                                                OverrideDataCategory category);
// Drops the feature's override, if any.
KELAPPSUPPORT_EXPORT void RemoveOverride(const UTF8String& featureName);

// Has `handler` called with the feature's name each time a read of the
// feature takes its default value. Handlers run on the reading thread, after
// the read, outside any lock of the service; one feature's handlers run in
// registration order. Returns a registration number (never 0).
KELAPPSUPPORT_EXPORT unsigned int RegisterDefaultValueTakenNotification(
    const UTF8String& featureName, std::function<void(UTF8String)> handler);

}  // namespace kelappsupport::feature
