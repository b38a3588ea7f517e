#include "store/json_object_writer.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "base/utf8.h"

namespace kelabexperiment {
namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// Whether any of the eight bytes of `word` is below 0x20, a quote or a
// backslash (bit tricks: a byte "has zero" after subtracting one from each).
bool AnyNeedsEscape(std::uint64_t word) {
  const auto hasZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighBits; };
  const std::uint64_t control = (word - 0x20 * kOnes) & ~word & kHighBits;
  return (control | hasZero(word ^ ('"' * kOnes)) | hasZero(word ^ ('\\' * kOnes))) != 0;
}

// Writes `c`, which needs escaping, at `w` and returns the end. The escapes
// are Boost.JSON's serializer's, GetJSONUTF8String's writer: \" \\ \b \t
// \n \f \r, and \u00xx for the other control characters.
unsigned char* WriteEscape(unsigned char* w, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  *w++ = '\\';
  switch (c) {
    case '"':
    case '\\':
      *w++ = c;
      break;
    case '\b':
      *w++ = 'b';
      break;
    case '\t':
      *w++ = 't';
      break;
    case '\n':
      *w++ = 'n';
      break;
    case '\f':
      *w++ = 'f';
      break;
    case '\r':
      *w++ = 'r';
      break;
    default:
      *w++ = 'u';
      *w++ = '0';
      *w++ = '0';
      *w++ = kHex[c >> 4];
      *w++ = kHex[c & 0xF];
  }
  return w;
}

// Appends `text` as a quoted JSON string, escaped as WriteEscape says and
// otherwise byte for byte.
void AppendQuoted(UTF8String& out, const UTF8String& text) {
  constexpr std::size_t kLongestEscape = 6;  // \u00xx
  const std::size_t start = out.size();
  out.resize(start + 2 + kLongestEscape * text.size());
  unsigned char* w = &out[start];
  *w++ = '"';
  const unsigned char* p = text.data();
  const unsigned char* const end = p + text.size();
  while (p != end) {
    if (std::uint64_t word; end - p >= 8) {
      std::memcpy(&word, p, sizeof word);
      if (!AnyNeedsEscape(word)) {
        std::memcpy(w, p, sizeof word);
        w += sizeof word;
        p += sizeof word;
        continue;
      }
    }
    const unsigned char c = *p++;
    if (c >= 0x20 && c != '"' && c != '\\') {
      *w++ = c;
    } else {
      w = WriteEscape(w, c);
    }
  }
  *w++ = '"';
  out.resize(static_cast<std::size_t>(w - out.data()));
}

}  // namespace

JsonObjectWriter::JsonObjectWriter(std::size_t expectedSize) {
  text_.reserve(expectedSize);
  text_.push_back('{');
}

void JsonObjectWriter::Add(const UTF8String& name, const UTF8String& text) {
  if (!IsValidUTF8(kelcore::string::View(name)) || !IsValidUTF8(kelcore::string::View(text))) {
    throw std::invalid_argument("JsonObjectWriter: text is not valid UTF-8");
  }
  if (text_.size() > 1) text_.push_back(',');
  AppendQuoted(text_, name);
  text_.push_back(':');
  AppendQuoted(text_, text);
}

UTF8String JsonObjectWriter::Finish() {
  text_.push_back('}');
  return std::move(text_);
}

}  // namespace kelabexperiment
