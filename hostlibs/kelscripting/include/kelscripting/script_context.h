#pragma once

#include <cstdint>

#include "kelcore/utility/ref_counted_object.h"
#include "kelscripting/kelscripting_export.h"

namespace kelscripting {

// One script execution context of the engine (a document's or a window's
// scripts). Immutable once made; reference-counted. Thread-safe.
class KELSCRIPTING_EXPORT ScriptContext : public kelcore::utility::RefCountedObject {
 public:
  using Flags = std::uint32_t;
  // Script code here can wait for promises, so calls may answer with one.
  static constexpr Flags kTakesPromises = 4;

  // Numbers the context with a handle unique in the process (never 0).
  explicit ScriptContext(Flags flags);

  Flags GetFlags() const noexcept { return flags_; }
  std::int32_t GetHandle() const noexcept { return handle_; }

 private:
  const Flags flags_;
  const std::int32_t handle_;
};

}  // namespace kelscripting
