#pragma once

#include "kelcore/kelcore_export.h"

namespace kelcore::config {

// Keeps the module (shared library or executable) that contains `address`
// mapped until the process ends, however often the host unloads it. A module
// that has handed callbacks to a longer-lived service calls this first, so
// that no callback can outlive its code. Idempotent and thread-safe. Throws
// config::kel_exception when the module cannot be found or pinned.
KELCORE_EXPORT void PinModuleContaining(const void* address);

}  // namespace kelcore::config
