#pragma once

#include "kelcore/string/string_types.h"

namespace kelcore::filesupport {

// The text of the environment variable `name` (ASCII), empty when it is unset
// or empty. Windows holds the environment in UTF-16 and it is read as such;
// elsewhere its bytes are taken as UTF-8. Implemented beside the platform's
// FileSystem. Thread-safe while nothing changes the environment.
UTF16String EnvironmentText(const char* name);

}  // namespace kelcore::filesupport
