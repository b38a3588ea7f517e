#pragma once

#include "kelscripting/kelscripting_export.h"

namespace kelscripting {

// A native object handed to script code in shared ownership (as a
// std::shared_ptr<NativeObject> result), such as a promise.
class KELSCRIPTING_EXPORT NativeObject {
 public:
  NativeObject() = default;
  NativeObject(const NativeObject&) = delete;
  NativeObject& operator=(const NativeObject&) = delete;
  virtual ~NativeObject();
};

}  // namespace kelscripting
