#pragma once

#include <string>
#include <string_view>

#include "kelcore/allocator/stl_allocator.h"

namespace kelcore {

// UTF-8 text as bytes. Every host API that takes or returns text uses it.
using UTF8String = std::basic_string<unsigned char, std::char_traits<unsigned char>,
                                     allocator::STLAllocator<unsigned char>>;

// UTF-16 code units, one per wchar_t, on every platform. Where wchar_t is 32
// bits wide the upper bits stay zero: this is never UTF-32.
using UTF16String =
    std::basic_string<wchar_t, std::char_traits<wchar_t>, allocator::STLAllocator<wchar_t>>;

namespace string {

// Byte-for-byte bridges between UTF8String and the char-based standard types.
inline UTF8String FromStd(std::string_view text) {
  // An empty view may carry a null pointer, which the byte traits must not see.
  if (text.empty()) return UTF8String();
  return UTF8String(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}
inline std::string_view View(const UTF8String& text) noexcept {
  return std::string_view(reinterpret_cast<const char*>(text.data()), text.size());
}
inline std::string ToStd(const UTF8String& text) { return std::string(View(text)); }

}  // namespace string
}  // namespace kelcore
