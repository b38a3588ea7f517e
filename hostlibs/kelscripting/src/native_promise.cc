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
    std::lock_guard<std::mutex> lock(mutex_);
    if (outcome_.state != State::kPending) return false;
    outcome_ = Outcome{state, payload, type};
  }
  settled_.notify_all();
  return true;
}

NativePromise::State NativePromise::GetState() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outcome_.state;
}

NativePromise::Outcome NativePromise::Wait() const {
  std::unique_lock<std::mutex> lock(mutex_);
  settled_.wait(lock, [this] { return outcome_.state != State::kPending; });
  return outcome_;
}

}  // namespace kelscripting
