#pragma once

#include <memory>
#include <string>
#include <typeinfo>

#include "kelcore/string/string_types.h"
#include "kelscripting/kelscripting_export.h"
#include "kelscripting/native_object.h"

namespace kelscripting {

// The name script code knows a native value type by. Defined for the types
// that cross between script and native code.
template <typename T>
struct ScriptTypeName;
template <>
struct ScriptTypeName<bool> {
  static constexpr const char* kName = "bool";
};
template <>
struct ScriptTypeName<kelcore::UTF8String> {
  static constexpr const char* kName = "string";
};
template <>
struct ScriptTypeName<std::shared_ptr<NativeObject>> {
  static constexpr const char* kName = "object";
};

// A class's name spelled the same way on every compiler: "class " and the
// qualified name (what MSVC's run-time type information gives), so that keys
// built from it agree across platforms.
KELSCRIPTING_EXPORT std::string ReadableTypeName(const std::type_info& type);

}  // namespace kelscripting
