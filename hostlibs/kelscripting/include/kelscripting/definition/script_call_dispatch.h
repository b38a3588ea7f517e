#pragma once

#include <boost/function.hpp>
#include <boost/intrusive_ptr.hpp>

#include "kelscripting/definition/script_item_definition_base.h"
#include "kelscripting/kelscripting_export.h"
#include "kelscripting/script_object_base.h"
#include "kelscripting/script_transfer_type_info.h"
#include "kelscripting/script_values.h"

namespace kelscripting::definition {

// A member's function with its target class erased: (arguments, result,
// target), the target being of the class the member belongs to.
using ScriptCallFunction =
    boost::function<void(ScriptArgumentList*, ScriptValueMap*, ScriptObjectBase*)>;

enum class ScriptCallKind {
  kPrimary,    // may answer with a promise; the result is re-checked after the UI thread
  kSecondary,  // never answers with a promise
};

// Runs one call of `item` where its flags and the target's context say:
//  - context takes promises and the item runs on the executor or the UI
//    thread (primary calls only): the call is queued there and a
//    NativePromise is stored as the result at once; throws
//    InternalErrorException, leaving `result` untouched, when the call
//    cannot be queued (no executor, or a refusal);
//  - the item runs on the UI thread: the caller waits for it at most the
//    item's time-out and gets what the call stored by the end of the wait
//    (nothing, when it had not finished); a call still queued when the
//    caller has returned never runs;
//  - otherwise: at once, on this thread.
// Exceptions from direct calls reach the caller; inside a promise call every
// failure rejects the promise with its message ("Error" when it has none).
// REQUIRES: `function` is not empty and accepts `target`.
KELSCRIPTING_EXPORT ScriptTransferTypeInfo
DispatchScriptCall(const ScriptItemDefinitionBase& item, ScriptCallKind kind,
                   const ScriptCallFunction& function, ScriptArgumentList& arguments,
                   ScriptValueMap& result, const boost::intrusive_ptr<ScriptObjectBase>& target);

}  // namespace kelscripting::definition
