#include "kelcore/string/conversions.h"

#include <cstdio>

#include <cstdint>
#include <cstring>

namespace kelcore::string {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one scalar value at `pos` following the Unicode "maximal subpart"
// rule. Returns the number of bytes consumed (at least 1); `valid` tells
// whether they formed a well-formed sequence.
std::size_t DecodeUTF8(const unsigned char* s, std::size_t n, std::size_t pos, char32_t& out,
                       bool& valid) {
  const unsigned char b0 = s[pos];
  valid = false;
  out = kReplacement;
  if (b0 < 0x80) {
    out = b0;
    valid = true;
    return 1;
  }
  std::size_t need;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;  // no overlong forms
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 1;
  }
  std::size_t used = 1;
  for (std::size_t i = 0; i < need; ++i) {
    if (pos + used >= n) return used;
    const unsigned char b = s[pos + used];
    if (b < lo || b > hi) return used;
    lo = 0x80;
    hi = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    ++used;
  }
  out = cp;
  valid = true;
  return used;
}

void AppendUTF16(UTF16String& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<wchar_t>(cp));
  }
}

void AppendUTF8(UTF8String& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<unsigned char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<unsigned char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<unsigned char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<unsigned char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<unsigned char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<unsigned char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<unsigned char>(0x80 | (cp & 0x3F)));
  }
}

void NoteError(bool& seen, std::size_t pos, UnicodeErrorCode* error, std::size_t* errorPosition) {
  if (seen) return;
  seen = true;
  if (error != nullptr) *error = UnicodeErrorCode::kInvalidSequence;
  if (errorPosition != nullptr) *errorPosition = pos;
}

}  // namespace

UTF16String AsciiToUTF16(const char* text, std::size_t length) {
  UTF16String out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    out.push_back(byte < 0x80 ? static_cast<wchar_t>(byte) : static_cast<wchar_t>(kReplacement));
  }
  return out;
}

UTF16String UTF8to16(const UTF8String& text, UnicodeErrorCode* error, std::size_t* errorPosition) {
  if (error != nullptr) *error = UnicodeErrorCode::kNone;
  UTF16String out;
  out.reserve(text.size());
  bool seen = false;
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t cp;
    bool valid;
    const std::size_t used = DecodeUTF8(text.data(), text.size(), pos, cp, valid);
    if (!valid) NoteError(seen, pos, error, errorPosition);
    AppendUTF16(out, cp);
    pos += used;
  }
  return out;
}

UTF8String UTF16to8(const UTF16String& text, UnicodeErrorCode* error, std::size_t* errorPosition) {
  if (error != nullptr) *error = UnicodeErrorCode::kNone;
  UTF8String out;
  out.reserve(text.size());
  bool seen = false;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const auto unit = static_cast<std::uint32_t>(text[pos]);
    char32_t cp = unit;
    if (unit > 0xFFFF || (unit >= 0xDC00 && unit <= 0xDFFF)) {
      cp = kReplacement;
      NoteError(seen, pos, error, errorPosition);
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      const std::uint32_t next =
          pos + 1 < text.size() ? static_cast<std::uint32_t>(text[pos + 1]) : 0;
      if (next >= 0xDC00 && next <= 0xDFFF) {
        cp = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
        ++pos;
      } else {
        cp = kReplacement;
        NoteError(seen, pos, error, errorPosition);
      }
    }
    AppendUTF8(out, cp);
  }
  return out;
}

UTF8String StdToUTF8String(const std::string& text) { return FromStd(text); }

std::string PrintableForMessage(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out;
}

bool IsValidUTF8(const UTF8String& text) noexcept {
  for (std::size_t pos = 0; pos < text.size();) {
    // Runs of ASCII, the common case, are checked eight bytes at a time.
    if (std::uint64_t word; pos + sizeof word <= text.size()) {
      std::memcpy(&word, text.data() + pos, sizeof word);
      if ((word & 0x8080808080808080ull) == 0) {
        pos += sizeof word;
        continue;
      }
    }
    if (text[pos] < 0x80) {
      ++pos;
      continue;
    }
    char32_t cp;
    bool valid;
    pos += DecodeUTF8(text.data(), text.size(), pos, cp, valid);
    if (!valid) return false;
  }
  return true;
}

}  // namespace kelcore::string
