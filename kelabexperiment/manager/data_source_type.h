#pragma once

#include <cstdint>

namespace kelabexperiment {

// Where an update of the user's variations came from. Any value other than
// DefaultValueTaken is a source that does not force control.
enum class DataSourceType : std::uint8_t {
  DefaultValueTaken = 1,  // a watched variation feature fell back to its default
};

}  // namespace kelabexperiment
