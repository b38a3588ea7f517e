#pragma once

#include <locale>
#include <string_view>

#include "host/kelcore.h"

namespace kelabexperiment {

// The host locale's byte case mapping, used by every case-insensitive match
// of the library. Thread-safe; the facet lives as long as the process.
const std::ctype<unsigned char>& ByteCaseFacet();

// Equal lengths, and equal bytes after upper-casing each with ByteCaseFacet.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
inline bool EqualsIgnoreCase(const UTF8String& a, const UTF8String& b) {
  return EqualsIgnoreCase(kelcore::string::View(a), kelcore::string::View(b));
}

// `text` with every byte upper-cased by ByteCaseFacet.
UTF8String UpperCased(const UTF8String& text);

}  // namespace kelabexperiment
