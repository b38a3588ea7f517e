#pragma once

#include <cstdint>
#include <vector>

#include "kelcore/string/string_types.h"
#include "kelcore/utility/ref_counted_object.h"
#include "kelscripting/kelscripting_export.h"
#include "kelscripting/script_object_base.h"
#include "kelscripting/script_transfer_type_info.h"
#include "kelscripting/script_values.h"
#include "kelscripting/types/parameter_type.h"
#include "kelscripting/types/property_type.h"

namespace kelscripting::definition {

// One member of a script class (a method): its declaration and how a call of
// it runs. Reference-counted. Immutable once its definition is registered,
// so any thread may invoke it.
class KELSCRIPTING_EXPORT ScriptItemDefinitionBase : public kelcore::utility::RefCountedObject {
 public:
  using Flags = std::uint32_t;
  // In a context that takes promises: run on a CPU-bound worker and answer
  // with a promise.
  static constexpr Flags kRunsOnExecutor = 0x100000;
  // Run on the UI thread: the caller waits, or, in a context that takes
  // promises, gets a promise.
  static constexpr Flags kRunsOnUIThread = 0x200000;
  // How long a caller waits for the UI thread by default, in milliseconds.
  static constexpr std::int32_t kDefaultSynchronousTimeoutMs = 5000;

  ScriptItemDefinitionBase(Flags flags, kelcore::UTF8String name, const PropertyType_Base& result,
                           std::vector<ParameterType_Base> parameters,
                           kelcore::UTF8String description);
  ~ScriptItemDefinitionBase() override;

  Flags GetFlags() const noexcept { return flags_; }
  const kelcore::UTF8String& GetName() const noexcept { return name_; }
  const kelcore::UTF8String& GetDescription() const noexcept { return description_; }
  const std::vector<ParameterType_Base>& GetParameters() const noexcept { return parameters_; }
  const ScriptTransferTypeInfo& GetTransferTypeInfo() const noexcept { return resultType_; }

  // Milliseconds a caller waits for the UI thread; negative: no limit.
  std::int32_t GetSynchronousTimeout() const noexcept { return synchronousTimeoutMs_; }
  // REQUIRES: the item is not yet invoked from other threads.
  void SetSynchronousTimeout(std::int32_t milliseconds) noexcept {
    synchronousTimeoutMs_ = milliseconds;
  }

  // Calls the member with `arguments` on `object`, filling `result`, and
  // returns the type of what it put there. Missing pointers, an object of
  // another class or an unbound member: nothing runs and the answer is the
  // declared result type.
  virtual ScriptTransferTypeInfo Invoke(ScriptArgumentList* arguments, ScriptValueMap* result,
                                        ScriptObjectBase* object) = 0;
  // The same for the member's secondary function, never with a promise.
  virtual ScriptTransferTypeInfo InvokeSecondary(ScriptArgumentList* arguments,
                                                 ScriptValueMap* result,
                                                 ScriptObjectBase* object) = 0;

 private:
  const Flags flags_;
  const kelcore::UTF8String name_;
  const ScriptTransferTypeInfo resultType_;
  const std::vector<ParameterType_Base> parameters_;
  const kelcore::UTF8String description_;
  std::int32_t synchronousTimeoutMs_ = kDefaultSynchronousTimeoutMs;
};

}  // namespace kelscripting::definition
