#pragma once

#include <string>
#include <string_view>

namespace kelabexperiment {

// True when `text` is well-formed UTF-8 (RFC 3629): no overlong forms, no
// encoded surrogates (U+D800..U+DFFF), nothing above U+10FFFF, no truncated
// sequence. The empty text and NUL bytes are well-formed.
bool IsValidUTF8(std::string_view text) noexcept;

// The length of the UTF-8 sequence that starts at `p` (a byte above 0x7F):
// 0 when it is ill-formed (a continuation byte, an overlong form, a surrogate,
// above U+10FFFF), kUtf8CutShort when `end` comes before it is complete.
// REQUIRES: p < end.
inline constexpr int kUtf8CutShort = -1;
int Utf8SequenceLength(const unsigned char* p, const unsigned char* end) noexcept;

// `bytes` for a one-line error message: printable ASCII (0x20..0x7E) as is,
// every other byte and the backslash as \xNN with upper-case hex digits, so
// the text can be quoted and its bytes read back. Tests and docs quote these
// texts, so the form must not change.
std::string PrintableForMessage(std::string_view bytes);

}  // namespace kelabexperiment
