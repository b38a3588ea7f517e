#include "kelscripting/engine/script_calls.h"

#include "kelscripting/definition/script_item_definition_base.h"
#include "kelscripting/script_exception.h"

namespace kelscripting::engine {
namespace {

std::string Quoted(const UTF8String& text) { return '"' + kelcore::string::ToStd(text) + '"'; }

}  // namespace

boost::intrusive_ptr<ScriptObject> CreateScriptObject(
    const definition::ScriptDefinitions& registry, const UTF8String& className,
    const boost::intrusive_ptr<ScriptContext>& context) {
  const auto definition = registry.FindObjectDefinition(className);
  if (!definition) throw ScriptException("no script class named " + Quoted(className));
  if (!context) throw ScriptException("an object of " + Quoted(className) + " needs a context");
  return definition->CreateInstance(context);
}

ScriptCallResult CallScriptMethod(ScriptObject& object, const UTF8String& methodName,
                                  ScriptArgumentList arguments) {
  const auto definition = object.GetDefinition();
  const auto item = definition ? definition->FindProperty(methodName) : nullptr;
  if (!item) {
    throw ScriptException(Quoted(object.GetClassName()) + " has no method " + Quoted(methodName));
  }
  ScriptCallResult result;
  result.type = item->Invoke(&arguments, &result.values, &object);
  return result;
}

}  // namespace kelscripting::engine
