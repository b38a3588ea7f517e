#include "kelscripting/definition/script_call_dispatch.h"

#include <memory>

#include "kelcore/threads/cpu_bound_executor.h"
#include "kelscripting/native_promise.h"
#include "kelscripting/script_exception.h"
#include "kelscripting/threads/ui_thread.h"
#include "kelscripting/types/property_type.h"
#include "promise_task.h"
#include "ui_call_task.h"

namespace kelscripting::definition {
namespace {

using Flags = ScriptItemDefinitionBase::Flags;

bool TakesPromises(const ScriptObjectBase& target) {
  const auto& context = target.GetContext();
  return context && (context->GetFlags() & ScriptContext::kTakesPromises) != 0;
}

[[noreturn]] void ThrowNotStarted(const ScriptItemDefinitionBase& item, const char* reason) {
  throw InternalErrorException("cannot start the call of \"" +
                               kelcore::string::ToStd(item.GetName()) + "\": " + reason);
}

ScriptTransferTypeInfo StartPromiseCall(const ScriptItemDefinitionBase& item,
                                        const ScriptCallFunction& function,
                                        const ScriptArgumentList& arguments, ScriptValueMap& result,
                                        const boost::intrusive_ptr<ScriptObjectBase>& target) {
  const auto promise = std::make_shared<NativePromise>(target->GetContextHdl());
  const boost::function<void()> task =
      PromiseTask(promise, arguments, function, target, item.GetTransferTypeInfo());
  if ((item.GetFlags() & ScriptItemDefinitionBase::kRunsOnExecutor) != 0) {
    const auto executor = kelcore::threads::CreateCPUBoundExecutor();
    if (!executor) ThrowNotStarted(item, "no CPU-bound executor is available");
    if (!executor->Post(task, 0)) ThrowNotStarted(item, "the CPU-bound executor refused it");
  } else if (!threads::CallFunctionOnUIThread(task)) {
    ThrowNotStarted(item, "the UI thread refused it");
  }
  const PropertyType<std::shared_ptr<NativeObject>> promiseType;
  promiseType.Validate(promise, &result);
  return promiseType.GetTransferTypeInfo();
}

void WaitForUIThread(const ScriptItemDefinitionBase& item, const ScriptCallFunction& function,
                     const ScriptArgumentList& arguments, ScriptValueMap& result,
                     const boost::intrusive_ptr<ScriptObjectBase>& target) {
  // Ours is the only strong reference: when we return, a task that has not
  // started yet will not run the call.
  const auto shared = std::make_shared<SharedCallResult>();
  threads::DirectVoidCallOnUIThread(UiCallTask(arguments, shared, target, function),
                                    item.GetSynchronousTimeout());
  result = shared->Copy();
}

}  // namespace

ScriptTransferTypeInfo DispatchScriptCall(const ScriptItemDefinitionBase& item, ScriptCallKind kind,
                                          const ScriptCallFunction& function,
                                          ScriptArgumentList& arguments, ScriptValueMap& result,
                                          const boost::intrusive_ptr<ScriptObjectBase>& target) {
  const ScriptTransferTypeInfo answer = item.GetTransferTypeInfo();
  const Flags flags = item.GetFlags();
  const Flags elsewhere =
      ScriptItemDefinitionBase::kRunsOnExecutor | ScriptItemDefinitionBase::kRunsOnUIThread;
  if (kind == ScriptCallKind::kPrimary && (flags & elsewhere) != 0 && TakesPromises(*target)) {
    return StartPromiseCall(item, function, arguments, result, target);
  }
  if ((flags & ScriptItemDefinitionBase::kRunsOnUIThread) == 0) {
    function(&arguments, &result, target.get());
    return answer;
  }
  WaitForUIThread(item, function, arguments, result, target);
  if (kind == ScriptCallKind::kPrimary) ReValidatePropertyValue(answer, result);
  return answer;
}

}  // namespace kelscripting::definition
