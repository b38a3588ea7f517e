#include "ui_call_task.h"

namespace kelscripting::definition {

void UiCallTask::operator()() {
  if (result_.expired()) return;  // the caller is gone: the call is not wanted
  ScriptValueMap local;
  function_(&arguments_, &local, target_.get());
  if (const auto shared = result_.lock()) shared->Store(std::move(local));
}

}  // namespace kelscripting::definition
