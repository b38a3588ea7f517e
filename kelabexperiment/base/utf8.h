#pragma once

#include <string>
#include <string_view>

namespace kelabexperiment {

// True when `text` is well-formed UTF-8 (RFC 3629): no overlong forms, no
// encoded surrogates (U+D800..U+DFFF), nothing above U+10FFFF, no truncated
// sequence. The empty text and NUL bytes are well-formed.
bool IsValidUTF8(std::string_view text) noexcept;

// `bytes` for a one-line error message: printable ASCII (0x20..0x7E) as is,
// every other byte and the backslash as \xNN with upper-case hex digits, so
// the text can be quoted and its bytes read back. Tests and docs quote these
// texts, so the form must not change.
std::string PrintableForMessage(std::string_view bytes);

}  // namespace kelabexperiment
