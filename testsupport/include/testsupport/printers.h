#pragma once

// GoogleTest printers for the host's byte strings, found by argument-dependent
// lookup through their allocator's namespace.

#include <ostream>

#include <boost/optional.hpp>

#include "kelcore/string/string_types.h"

namespace kelcore::allocator {

inline void PrintTo(const UTF8String& text, std::ostream* os) {
  *os << '"' << string::View(text) << '"';
}

inline void PrintTo(const boost::optional<UTF8String>& text, std::ostream* os) {
  if (text) {
    PrintTo(*text, os);
  } else {
    *os << "(absent)";
  }
}

}  // namespace kelcore::allocator
