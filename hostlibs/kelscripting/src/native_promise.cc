#include "kelscripting/native_promise.h"

namespace kelscripting {

NativePromise::NativePromise(std::int32_t contextHandle) : contextHandle_(contextHandle) {}

bool NativePromise::Resolve(const ScriptValueMap& payload, const ScriptTransferTypeInfo& type) {
  return Settle(State::kResolved, payload, type);
}

bool NativePromise::Reject(const ScriptValueMap& payload, const ScriptTransferTypeInfo& type) {
  return Settle(State::kRejected, payload, type);
}

bool NativePromise::Settle(State state, const ScriptValueMap& payload,
                           const ScriptTransferTypeInfo& type) {
  {
    kelcore::threads::MutexLock lock(&mutex_);
    if (outcome_.state != State::kPending) return false;
    outcome_ = Outcome{state, payload, type};
  }
  settled_.NotifyAll();
  return true;
}

NativePromise::State NativePromise::GetState() const {
  kelcore::threads::MutexLock lock(&mutex_);
  return outcome_.state;
}

NativePromise::Outcome NativePromise::Wait() const {
  kelcore::threads::MutexLock lock(&mutex_);
  while (outcome_.state == State::kPending) settled_.Wait(&mutex_);
  return outcome_;
}

}  // namespace kelscripting
