#pragma once

#include <stdexcept>

#include "kelcore/kelcore_export.h"

namespace kelcore::config {

// Base of every error the host raises on purpose.
class KELCORE_EXPORT kel_exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kelcore::config
