#pragma once

#include <functional>
#include <map>
#include <vector>

#include <boost/any.hpp>
#include <boost/shared_ptr.hpp>

#include "kelcore/allocator/stl_allocator.h"
#include "kelcore/string/string_types.h"
#include "kelscripting/kelscripting_export.h"

namespace kelscripting {

using kelcore::UTF8String;

// One value passed between script code and native code; null or an empty any
// is "nothing".
using ScriptValue = boost::shared_ptr<boost::any>;

// A call's arguments, by position. Copies share the values.
using ScriptArgumentList = std::vector<ScriptValue, kelcore::allocator::STLAllocator<ScriptValue>>;

// A call's named results (also a promise's payload).
using ScriptValueMap =
    std::map<UTF8String, ScriptValue, std::less<void>,
             kelcore::allocator::STLAllocator<std::pair<const UTF8String, ScriptValue>>>;

// Stores `value` as the result in `map`, replacing any earlier one.
KELSCRIPTING_EXPORT void SetScriptResult(ScriptValueMap& map, ScriptValue value);

// The result stored in `map`; null when there is none.
KELSCRIPTING_EXPORT ScriptValue GetScriptResult(const ScriptValueMap& map);

// What `value` holds, as script code would name it ("bool", "string",
// "object", "nothing"), or "C++ type <name>" for anything else. For messages.
KELSCRIPTING_EXPORT std::string DescribeScriptValue(const ScriptValue& value);

}  // namespace kelscripting
