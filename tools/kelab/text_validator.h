#pragma once

#include <CLI/CLI.hpp>

namespace kelab {

// Refuses, as a usage error, an option's text that is not valid UTF-8: the
// library keeps identifiers and texts as UTF-8, and a loose conversion would
// name something else.
extern const CLI::Validator kUtf8Text;

}  // namespace kelab
