#pragma once

#include <boost/function.hpp>
#include <boost/intrusive_ptr.hpp>

#include "kelscripting/definition/script_call_dispatch.h"
#include "kelscripting/definition/script_item_definition_base.h"

namespace kelscripting::definition {

// A member of the script class whose objects are T's, bound to native
// functions: the primary one runs for Invoke, the secondary one for
// InvokeSecondary. Either may be empty (the call then does nothing).
// REQUIRES: the functions are set before the item is added to a definition.
template <typename T>
class ScriptItemDefinition : public ScriptItemDefinitionBase {
 public:
  using Function = boost::function<void(ScriptArgumentList*, ScriptValueMap*, T*)>;

  using ScriptItemDefinitionBase::ScriptItemDefinitionBase;

  void SetPrimary(Function function) { primary_ = std::move(function); }
  void SetSecondary(Function function) { secondary_ = std::move(function); }

  ScriptTransferTypeInfo Invoke(ScriptArgumentList* arguments, ScriptValueMap* result,
                                ScriptObjectBase* object) override {
    return Call(primary_, ScriptCallKind::kPrimary, arguments, result, object);
  }
  ScriptTransferTypeInfo InvokeSecondary(ScriptArgumentList* arguments, ScriptValueMap* result,
                                         ScriptObjectBase* object) override {
    return Call(secondary_, ScriptCallKind::kSecondary, arguments, result, object);
  }

 private:
  ScriptTransferTypeInfo Call(const Function& function, ScriptCallKind kind,
                              ScriptArgumentList* arguments, ScriptValueMap* result,
                              ScriptObjectBase* object) const {
    if (arguments == nullptr || result == nullptr || object == nullptr) {
      return GetTransferTypeInfo();
    }
    // Held until the call ends, and by any task that carries it further.
    const boost::intrusive_ptr<T> target(dynamic_cast<T*>(object));
    if (!target || function.empty()) return GetTransferTypeInfo();
    const ScriptCallFunction erased = [function](ScriptArgumentList* a, ScriptValueMap* r,
                                                 ScriptObjectBase* o) {
      function(a, r, static_cast<T*>(o));
    };
    return DispatchScriptCall(*this, kind, erased, *arguments, *result, target);
  }

  // Destroyed in reverse order: the secondary function first.
  Function primary_;
  Function secondary_;
};

}  // namespace kelscripting::definition
