#pragma once

#include <cstdint>

#include "kelcore/string/string_types.h"
#include "kelcore/utility/ref_counted_object.h"
#include "kelscripting/kelscripting_export.h"

namespace kelscripting {

// The engine's handle through which script code reaches a native object.
// Immutable; reference-counted.
class KELSCRIPTING_EXPORT ScriptAdapter : public kelcore::utility::RefCountedObject {
 public:
  ScriptAdapter(kelcore::UTF8String className, std::int32_t contextHandle)
      : className_(std::move(className)), contextHandle_(contextHandle) {}

  const kelcore::UTF8String& GetClassName() const noexcept { return className_; }
  std::int32_t GetContextHandle() const noexcept { return contextHandle_; }

 private:
  const kelcore::UTF8String className_;
  const std::int32_t contextHandle_;
};

}  // namespace kelscripting
