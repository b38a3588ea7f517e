#pragma once

#include <boost/make_shared.hpp>

#include "kelscripting/kelscripting_export.h"
#include "kelscripting/script_transfer_type_info.h"
#include "kelscripting/script_values.h"

namespace kelscripting {

// The declared result type of a script member. Plain value.
class KELSCRIPTING_EXPORT PropertyType_Base {
 public:
  explicit PropertyType_Base(ScriptTransferTypeInfo type) : type_(type) {}
  const ScriptTransferTypeInfo& GetTransferTypeInfo() const noexcept { return type_; }

 private:
  ScriptTransferTypeInfo type_;
};

// A result of native type T, which must have a ScriptTypeName.
template <typename T>
class PropertyType : public PropertyType_Base {
 public:
  PropertyType() : PropertyType_Base(ScriptTransferTypeInfo::Of<T>()) {}

  // Stores `value` as the result in `*map` and returns `map`.
  // REQUIRES: `map` is not null.
  ScriptValueMap* Validate(const T& value, ScriptValueMap* map) const {
    SetScriptResult(*map, boost::make_shared<boost::any>(value));
    return map;
  }
};

// Checks a result made on another thread: when `map` holds a result, it must
// be of the type `type` names (none at all for an empty `type`); otherwise
// throws ScriptException naming both. A map without a result passes: a call
// whose result did not arrive in time has none.
KELSCRIPTING_EXPORT void ReValidatePropertyValue(const ScriptTransferTypeInfo& type,
                                                 const ScriptValueMap& map);

}  // namespace kelscripting
