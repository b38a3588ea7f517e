#pragma once

#include <memory>

#include <boost/intrusive_ptr.hpp>

#include "kelscripting/definition/script_call_dispatch.h"
#include "kelscripting/native_promise.h"

namespace kelscripting::definition {

// One call carried to a worker or to the UI thread for a caller that got a
// promise. Keeps the promise, the target, the arguments and the function
// alive until it has run; settles the promise, and lets nothing escape.
class PromiseTask {
 public:
  PromiseTask(std::shared_ptr<NativePromise> promise, const ScriptArgumentList& arguments,
              ScriptCallFunction function, boost::intrusive_ptr<ScriptObjectBase> target,
              const ScriptTransferTypeInfo& resultType)
      : promise_(std::move(promise)),
        arguments_(arguments),
        function_(std::move(function)),
        target_(std::move(target)),
        resultType_(resultType) {}

  void operator()();

 private:
  void Reject(ScriptValueMap& payload, const UTF8String& message) const;

  std::shared_ptr<NativePromise> promise_;
  ScriptArgumentList arguments_;  // shares the caller's values
  ScriptCallFunction function_;
  boost::intrusive_ptr<ScriptObjectBase> target_;
  ScriptTransferTypeInfo resultType_;
};

}  // namespace kelscripting::definition
