#pragma once

#include <cstdint>

#include "kelcore/threads/cond_var.h"
#include "kelcore/threads/mutex.h"
#include "kelscripting/kelscripting_export.h"
#include "kelscripting/native_object.h"
#include "kelscripting/script_transfer_type_info.h"
#include "kelscripting/script_values.h"

namespace kelscripting {

// The answer to a call that finishes later: settled once, by Resolve or by
// Reject, from whichever thread finishes the call. The script engine of the
// context it was made for reads the outcome. Held through std::shared_ptr.
// Thread-safe.
class KELSCRIPTING_EXPORT NativePromise : public NativeObject {
 public:
  enum class State { kPending, kResolved, kRejected };

  struct Outcome {
    State state = State::kPending;
    ScriptValueMap payload;
    ScriptTransferTypeInfo type;
  };

  // `contextHandle` names the script context that waits for the outcome.
  explicit NativePromise(std::int32_t contextHandle);

  std::int32_t GetContextHandle() const noexcept { return contextHandle_; }

  // Settle the promise with `payload`, whose result is of type `type`.
  // Only the first settlement counts: a later call changes nothing and
  // returns false.
  bool Resolve(const ScriptValueMap& payload, const ScriptTransferTypeInfo& type)
      KEL_EXCLUDES(mutex_);
  bool Reject(const ScriptValueMap& payload, const ScriptTransferTypeInfo& type)
      KEL_EXCLUDES(mutex_);

  State GetState() const KEL_EXCLUDES(mutex_);
  // Blocks until the promise is settled, then returns a copy of the outcome.
  Outcome Wait() const KEL_EXCLUDES(mutex_);

 private:
  bool Settle(State state, const ScriptValueMap& payload, const ScriptTransferTypeInfo& type)
      KEL_EXCLUDES(mutex_);

  const std::int32_t contextHandle_;
  mutable kelcore::threads::Mutex mutex_;
  mutable kelcore::threads::CondVar settled_;
  Outcome outcome_ KEL_GUARDED_BY(mutex_);
};

}  // namespace kelscripting
