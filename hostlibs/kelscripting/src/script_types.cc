#include "kelscripting/script_exception.h"
#include "kelscripting/types/parameter_type.h"
#include "kelscripting/types/property_type.h"

namespace kelscripting {
namespace {

std::string Quoted(const UTF8String& name) { return '"' + kelcore::string::ToStd(name) + '"'; }

}  // namespace

ParameterType_Base::ParameterType_Base(UTF8String name, ScriptTransferTypeInfo type)
    : name_(std::move(name)), type_(type) {}

const boost::any& ParameterType_Base::Argument(std::size_t index,
                                               const ScriptArgumentList& arguments) const {
  if (index >= arguments.size() || !arguments[index] || arguments[index]->empty()) {
    throw ScriptArgumentException("argument " + std::to_string(index) + " (" + Quoted(name_) +
                                  ") is missing; expected " + type_.ScriptName());
  }
  return *arguments[index];
}

void ParameterType_Base::ThrowWrongType(std::size_t index, const ScriptValue& argument) const {
  throw ScriptArgumentException("argument " + std::to_string(index) + " (" + Quoted(name_) +
                                ") must be " + type_.ScriptName() + ", got " +
                                DescribeScriptValue(argument));
}

void ReValidatePropertyValue(const ScriptTransferTypeInfo& type, const ScriptValueMap& map) {
  const ScriptValue result = GetScriptResult(map);
  if (!result) return;
  const bool matches = type.IsEmpty() ? result->empty() : result->type() == type.Type();
  if (!matches) {
    throw ScriptException(std::string("the call's result is ") + DescribeScriptValue(result) +
                          " where " + type.ScriptName() + " was declared");
  }
}

}  // namespace kelscripting
