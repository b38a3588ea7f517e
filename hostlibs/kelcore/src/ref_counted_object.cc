#include "kelcore/utility/ref_counted_object.h"

namespace kelcore::utility {

RefCountedInterface::~RefCountedInterface() = default;

RefCountedObject::~RefCountedObject() = default;

void RefCountedObject::AddRef() const noexcept { count_.fetch_add(1, std::memory_order_relaxed); }

void RefCountedObject::Release() const noexcept {
  // acq_rel: every holder's writes happen before the destruction below.
  if (count_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  if (destroying_.load(std::memory_order_relaxed) != 0 ||
      immortal_.load(std::memory_order_relaxed) != 0) {
    return;
  }
  destroying_.store(1, std::memory_order_relaxed);
  delete this;
}

}  // namespace kelcore::utility
