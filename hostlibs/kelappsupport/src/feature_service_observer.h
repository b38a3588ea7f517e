#pragma once

// The feature service's one seam for test support (the kelappsupport_testing
// target): an observer that sees every call and may refuse a set, and a
// reset. Not installed; hosts have no use for it.

#include <string_view>
#include <variant>

#include "kelappsupport/feature/feature_overrides.h"
#include "kelappsupport/kelappsupport_export.h"

namespace kelappsupport::feature::internal {

enum class CallKind { kSetInt, kSetString, kRemove, kRegister, kDefaultTaken };

// Called under the service's lock: it must not call back into the service.
class ServiceObserver {
 public:
  virtual ~ServiceObserver() = default;
  // Before an override set changes anything; throwing refuses the set.
  virtual void BeforeSet() = 0;
  // After a call changed the service, or a read took the default.
  virtual void Called(CallKind kind, std::string_view name,
                      const std::variant<std::monostate, int, std::string_view>& value,
                      OverrideDataCategory category) = 0;
};

// Installs `observer` (null: none) and returns the one it replaces.
// Thread-safe. `observer` must outlive its installation.
KELAPPSUPPORT_EXPORT ServiceObserver* SwapObserver(ServiceObserver* observer);

// Drops every override and every handler, giving their memory back.
KELAPPSUPPORT_EXPORT void ResetService();

}  // namespace kelappsupport::feature::internal
