#include "kelscripting/script_values.h"

#include <memory>

#include <boost/core/demangle.hpp>

#include "kelscripting/native_object.h"
#include "kelscripting/script_type_name.h"

namespace kelscripting {
namespace {

const UTF8String& ResultKey() {
  static const UTF8String* key = new UTF8String(kelcore::string::FromStd("result"));
  return *key;
}

template <typename T>
bool Holds(const boost::any& value) {
  return value.type() == typeid(T);
}

}  // namespace

NativeObject::~NativeObject() = default;

void SetScriptResult(ScriptValueMap& map, ScriptValue value) {
  map.insert_or_assign(ResultKey(), std::move(value));
}

ScriptValue GetScriptResult(const ScriptValueMap& map) {
  const auto it = map.find(ResultKey());
  return it == map.end() ? ScriptValue() : it->second;
}

std::string DescribeScriptValue(const ScriptValue& value) {
  if (!value || value->empty()) return "nothing";
  if (Holds<bool>(*value)) return ScriptTypeName<bool>::kName;
  if (Holds<UTF8String>(*value)) return ScriptTypeName<UTF8String>::kName;
  if (Holds<std::shared_ptr<NativeObject>>(*value)) {
    return ScriptTypeName<std::shared_ptr<NativeObject>>::kName;
  }
  return "C++ type " + boost::core::demangle(value->type().name());
}

std::string ReadableTypeName(const std::type_info& type) {
#ifdef _MSC_VER
  return type.name();
#else
  return "class " + boost::core::demangle(type.name());
#endif
}

}  // namespace kelscripting
