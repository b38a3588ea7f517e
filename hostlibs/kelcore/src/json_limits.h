#pragma once

#include <cstddef>

namespace kelcore::serialization {

// The deepest nesting of arrays and objects that the host's JSON readers
// accept and its writer produces.
inline constexpr std::size_t kJsonMaxDepth = 64;

}  // namespace kelcore::serialization
