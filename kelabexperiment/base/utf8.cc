#include "base/utf8.h"

#include <cstdint>
#include <cstring>

namespace kelabexperiment {

int Utf8SequenceLength(const unsigned char* p, const unsigned char* end) noexcept {
  // The lead byte gives the length and the range of the second byte, which
  // is what rules out overlong forms, surrogates and values past U+10FFFF.
  const unsigned char lead = *p;
  int length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0xC2) {
    return 0;  // a continuation byte, or an overlong two-byte form
  } else if (lead < 0xE0) {
    length = 2;
  } else if (lead < 0xF0) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead < 0xF5) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if (p + i == end) return kUtf8CutShort;
    if (p[i] < low || p[i] > high) return 0;
    low = 0x80;
    high = 0xBF;
  }
  return length;
}

bool IsValidUTF8(std::string_view text) noexcept {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t pos = 0;
  while (pos < n) {
    // Identifiers and paths are mostly ASCII: eight bytes at a time while no
    // byte has its high bit set.
    if (std::uint64_t word; n - pos >= sizeof word) {
      std::memcpy(&word, s + pos, sizeof word);
      if ((word & 0x8080808080808080ull) == 0) {
        pos += sizeof word;
        continue;
      }
    }
    if (s[pos] < 0x80) {
      ++pos;
      continue;
    }
    const int length = Utf8SequenceLength(s + pos, s + n);
    if (length <= 0) return false;
    pos += static_cast<std::size_t>(length);
  }
  return true;
}

std::string PrintableForMessage(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(byte);
    } else {
      const char escaped[] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
      out.append(escaped, sizeof escaped);
    }
  }
  return out;
}

}  // namespace kelabexperiment
