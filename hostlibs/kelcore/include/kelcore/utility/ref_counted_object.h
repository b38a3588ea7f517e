#pragma once

#include <atomic>
#include <cstdint>

#include "kelcore/kelcore_export.h"
#include "kelcore/utility/ref_counted_interface.h"

namespace kelcore::utility {

// The usual implementation of RefCountedInterface: a 32-bit count and two flag
// bytes. Taking and dropping references is atomic and thread-safe. The holder
// that takes the count from 1 to 0 destroys the object, unless a flag is
// already set: the first is set just before destruction (so a reference taken
// and dropped again by the destructor cannot destroy it twice), the second
// marks an object that the count never destroys.
//
// Objects start with a count of 0; the first intrusive_ptr takes it to 1.
// REQUIRES: objects whose count may reach 0 without MakeImmortal were made
// with new.
class KELCORE_EXPORT RefCountedObject : public virtual RefCountedInterface {
 public:
  RefCountedObject() noexcept = default;
  RefCountedObject(const RefCountedObject&) = delete;
  RefCountedObject& operator=(const RefCountedObject&) = delete;

  void AddRef() const noexcept override;
  void Release() const noexcept override;

  // The number of references now; only a hint while other threads hold some.
  std::uint32_t UseCount() const noexcept { return count_.load(std::memory_order_relaxed); }

 protected:
  ~RefCountedObject() override;

  // From now on the count never destroys this object (for process-wide
  // instances that hand out references but live until the process ends).
  void MakeImmortal() noexcept { immortal_.store(1, std::memory_order_relaxed); }

 private:
  mutable std::atomic<std::uint32_t> count_{0};
  mutable std::atomic<std::uint8_t> destroying_{0};
  std::atomic<std::uint8_t> immortal_{0};
};

}  // namespace kelcore::utility
