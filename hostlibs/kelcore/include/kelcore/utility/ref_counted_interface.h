#pragma once

#include "kelcore/kelcore_export.h"

namespace kelcore::utility {

// Anything whose lifetime is shared through a reference count and held with
// boost::intrusive_ptr. Implementations must make both operations safe to
// call from any thread.
class KELCORE_EXPORT RefCountedInterface {
 public:
  virtual void AddRef() const noexcept = 0;
  // Drops one reference; the last one may destroy the object.
  virtual void Release() const noexcept = 0;

 protected:
  virtual ~RefCountedInterface();
};

// The hooks boost::intrusive_ptr finds by argument-dependent lookup.
inline void intrusive_ptr_add_ref(const RefCountedInterface* object) noexcept { object->AddRef(); }
inline void intrusive_ptr_release(const RefCountedInterface* object) noexcept { object->Release(); }

}  // namespace kelcore::utility
