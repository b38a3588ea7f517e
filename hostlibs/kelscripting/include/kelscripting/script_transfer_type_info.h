#pragma once

#include <typeinfo>

#include "kelscripting/script_type_name.h"

namespace kelscripting {

// What a call puts into its result map: the native type of the result and its
// script name. Empty when the call gives no result. A plain value: copy and
// assign freely.
class ScriptTransferTypeInfo {
 public:
  ScriptTransferTypeInfo() = default;

  template <typename T>
  static ScriptTransferTypeInfo Of() {
    return ScriptTransferTypeInfo(typeid(T), ScriptTypeName<T>::kName);
  }

  bool IsEmpty() const noexcept { return type_ == nullptr; }
  // REQUIRES: !IsEmpty().
  const std::type_info& Type() const noexcept { return *type_; }
  const char* ScriptName() const noexcept { return scriptName_; }

  friend bool operator==(const ScriptTransferTypeInfo& a, const ScriptTransferTypeInfo& b) {
    if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() == b.IsEmpty();
    return *a.type_ == *b.type_;
  }
  friend bool operator!=(const ScriptTransferTypeInfo& a, const ScriptTransferTypeInfo& b) {
    return !(a == b);
  }

 private:
  ScriptTransferTypeInfo(const std::type_info& type, const char* scriptName)
      : type_(&type), scriptName_(scriptName) {}

  const std::type_info* type_ = nullptr;
  const char* scriptName_ = "nothing";
};

}  // namespace kelscripting
