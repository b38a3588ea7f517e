#include "base/utf8.h"

#include <cstdint>
#include <cstring>

namespace kelabexperiment {

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
    const unsigned char lead = s[pos];
    if (lead < 0x80) {
      ++pos;
      continue;
    }
    // The lead byte gives the length and the range of the second byte, which
    // is what rules out overlong forms, surrogates and values past U+10FFFF.
    std::size_t more;
    unsigned char lo = 0x80, hi = 0xBF;
    if (lead < 0xC2) {
      return false;  // a continuation byte, or an overlong two-byte form
    } else if (lead <= 0xDF) {
      more = 1;
    } else if (lead <= 0xEF) {
      more = 2;
      if (lead == 0xE0) lo = 0xA0;
      if (lead == 0xED) hi = 0x9F;
    } else if (lead <= 0xF4) {
      more = 3;
      if (lead == 0xF0) lo = 0x90;
      if (lead == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - pos - 1 < more) return false;
    if (s[pos + 1] < lo || s[pos + 1] > hi) return false;
    for (std::size_t i = 2; i <= more; ++i) {
      if ((s[pos + i] & 0xC0) != 0x80) return false;
    }
    pos += 1 + more;
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
