#pragma once

#include <boost/intrusive_ptr.hpp>

#include "kelscripting/definition/script_definitions.h"
#include "kelscripting/kelscripting_export.h"
#include "kelscripting/script_context.h"
#include "kelscripting/script_object.h"
#include "kelscripting/script_transfer_type_info.h"
#include "kelscripting/script_values.h"

namespace kelscripting::engine {

// What script code does with native classes, for engines and hosts that
// drive them without one.

// `new className` in `context`: an object of the class registered under that
// name. Throws ScriptException when no class has the name or `context` is
// null.
KELSCRIPTING_EXPORT boost::intrusive_ptr<ScriptObject> CreateScriptObject(
    const definition::ScriptDefinitions& registry, const UTF8String& className,
    const boost::intrusive_ptr<ScriptContext>& context);

// What a method call gave: the result map (see GetScriptResult) and the type
// of the result in it (a promise's is "object").
struct ScriptCallResult {
  ScriptValueMap values;
  ScriptTransferTypeInfo type;
};

// `object.methodName(arguments...)`. Throws ScriptException when the object's
// class has no such member; otherwise whatever the call throws (for a bad
// argument, ScriptArgumentException).
KELSCRIPTING_EXPORT ScriptCallResult CallScriptMethod(ScriptObject& object,
                                                      const UTF8String& methodName,
                                                      ScriptArgumentList arguments);

}  // namespace kelscripting::engine
