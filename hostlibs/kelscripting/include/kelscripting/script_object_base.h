#pragma once

#include <cstdint>

#include <boost/intrusive_ptr.hpp>

#include "kelcore/utility/ref_counted_object.h"
#include "kelscripting/kelscripting_export.h"
#include "kelscripting/script_context.h"

namespace kelscripting {

// What every native object that script code can hold has: the context it
// lives in. Reference-counted.
class KELSCRIPTING_EXPORT ScriptObjectBase : public kelcore::utility::RefCountedObject {
 public:
  // REQUIRES: called while the object is made, before it is shared.
  void SetContext(boost::intrusive_ptr<ScriptContext> context) { context_ = std::move(context); }
  const boost::intrusive_ptr<ScriptContext>& GetContext() const noexcept { return context_; }
  // The context's handle; 0 without a context.
  std::int32_t GetContextHdl() const noexcept { return context_ ? context_->GetHandle() : 0; }

 protected:
  ScriptObjectBase() = default;
  ~ScriptObjectBase() override;

 private:
  boost::intrusive_ptr<ScriptContext> context_;
};

}  // namespace kelscripting
