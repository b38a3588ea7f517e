#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

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
  bool Resolve(const ScriptValueMap& payload, const ScriptTransferTypeInfo& type);
  bool Reject(const ScriptValueMap& payload, const ScriptTransferTypeInfo& type);

  State GetState() const;
  // Blocks until the promise is settled, then returns a copy of the outcome.
  Outcome Wait() const;

 private:
  bool Settle(State state, const ScriptValueMap& payload, const ScriptTransferTypeInfo& type);

  const std::int32_t contextHandle_;
  mutable std::mutex mutex_;
  mutable std::condition_variable settled_;
  Outcome outcome_;  // guarded by mutex_
};

}  // namespace kelscripting
