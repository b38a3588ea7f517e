#pragma once

#include "kelcore/config/kel_exception.h"
#include "kelcore/kelcore_export.h"

namespace kelcore::filesupport {

// Raised by file operations that fail; the message names the path and the
// operating system's reason.
class KELCORE_EXPORT FileError : public config::kel_exception {
 public:
  using config::kel_exception::kel_exception;
};

}  // namespace kelcore::filesupport
