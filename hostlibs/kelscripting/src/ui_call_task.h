#pragma once

#include <memory>

#include <boost/intrusive_ptr.hpp>

#include "kelscripting/definition/script_call_dispatch.h"
#include "shared_call_result.h"

namespace kelscripting::definition {

// One call carried to the UI thread for a waiting caller. The caller owns
// the only strong reference to the shared result: once it has stopped
// waiting and let go, the task neither runs the call nor stores anything.
class UiCallTask {
 public:
  UiCallTask(const ScriptArgumentList& arguments, const std::shared_ptr<SharedCallResult>& result,
             boost::intrusive_ptr<ScriptObjectBase> target, ScriptCallFunction function)
      : arguments_(arguments),
        result_(result),
        target_(std::move(target)),
        function_(std::move(function)) {}

  void operator()();

 private:
  ScriptArgumentList arguments_;  // shares the caller's values
  std::weak_ptr<SharedCallResult> result_;
  boost::intrusive_ptr<ScriptObjectBase> target_;
  ScriptCallFunction function_;
};

}  // namespace kelscripting::definition
