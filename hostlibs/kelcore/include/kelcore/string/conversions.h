#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"

namespace kelcore::string {

enum class UnicodeErrorCode {
  kNone = 0,
  kInvalidSequence = 1,  // ill-formed input; each bad sequence became U+FFFD
};

// Widens ASCII text. Bytes above 0x7F are not ASCII and become U+FFFD.
KELCORE_EXPORT UTF16String AsciiToUTF16(const char* text, std::size_t length);

// Converts UTF-8 to UTF-16. Ill-formed input (overlong forms, surrogates,
// values above U+10FFFF, truncated sequences) never fails the call: each
// maximal bad subsequence becomes U+FFFD. When `error` is given it receives
// kInvalidSequence for such input, and `errorPosition` the byte offset of the
// first bad sequence.
KELCORE_EXPORT UTF16String UTF8to16(const UTF8String& text, UnicodeErrorCode* error = nullptr,
                                    std::size_t* errorPosition = nullptr);

// Converts UTF-16 to UTF-8. Unpaired surrogates and units above 0xFFFF (not
// UTF-16) become U+FFFD, reported as for UTF8to16 (position in code units).
KELCORE_EXPORT UTF8String UTF16to8(const UTF16String& text, UnicodeErrorCode* error = nullptr,
                                   std::size_t* errorPosition = nullptr);

// An exception message (std::exception::what) as UTF8String, bytes unchanged.
KELCORE_EXPORT UTF8String StdToUTF8String(const std::string& text);

// `bytes` for a one-line error message: printable ASCII as is, every other
// byte and the backslash as \xNN.
KELCORE_EXPORT std::string PrintableForMessage(std::string_view bytes);

// True when `text` is well-formed UTF-8.
KELCORE_EXPORT bool IsValidUTF8(const UTF8String& text) noexcept;

}  // namespace kelcore::string
