#include "promise_task.h"

#include <exception>

#include "kelcore/string/conversions.h"
#include "kelscripting/types/property_type.h"

namespace kelscripting::definition {

void PromiseTask::operator()() {
  ScriptValueMap local;
  try {
    function_(&arguments_, &local, target_.get());
    promise_->Resolve(local, resultType_);
  } catch (const std::exception& e) {
    Reject(local, kelcore::string::StdToUTF8String(e.what()));
  } catch (...) {
    Reject(local, kelcore::string::FromStd("Error"));
  }
}

void PromiseTask::Reject(ScriptValueMap& payload, const UTF8String& message) const {
  const PropertyType<UTF8String> messageType;
  promise_->Reject(*messageType.Validate(message, &payload), messageType.GetTransferTypeInfo());
}

}  // namespace kelscripting::definition
