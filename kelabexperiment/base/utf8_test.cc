#include "base/utf8.h"

#include <string>

#include <gtest/gtest.h>

namespace kelabexperiment {
namespace {

// `cp` in exactly `length` bytes, overlong when a shorter form exists.
std::string Encode(char32_t cp, int length) {
  static constexpr unsigned char kLeads[] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
  std::string out(static_cast<std::size_t>(length), '\0');
  for (int i = length - 1; i > 0; --i) {
    out[static_cast<std::size_t>(i)] = static_cast<char>(0x80 | (cp & 0x3F));
    cp >>= 6;
  }
  out[0] = static_cast<char>(kLeads[length] | cp);
  return out;
}

int ShortestLength(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// The answer must not depend on where the text falls against the eight-byte
// steps, nor on what precedes or follows it.
void ExpectValidityAtEveryOffset(const std::string& text, bool valid) {
  for (std::size_t offset = 0; offset <= 17; ++offset) {
    const std::string ascii(offset, 'a');
    SCOPED_TRACE("after " + std::to_string(offset) + " ASCII bytes");
    EXPECT_EQ(IsValidUTF8(ascii + text), valid);
    EXPECT_EQ(IsValidUTF8(ascii + text + ascii), valid);
    EXPECT_EQ(IsValidUTF8(text + ascii), valid);
  }
}

TEST(IsValidUTF8Test, EachRangeBoundaryAndEachWayToBeIllFormed) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    bool valid;
  } rows[] = {
      {"", true},
      {"\0"s, true},
      {"\x7F", true},
      {"\xC2\x80", true},          // U+0080
      {"\xDF\xBF", true},          // U+07FF
      {"\xE0\xA0\x80", true},      // U+0800
      {"\xE0\xBF\xBF", true},      // U+0FFF
      {"\xE1\x80\x80", true},      // U+1000
      {"\xEC\xBF\xBF", true},      // U+CFFF
      {"\xED\x80\x80", true},      // U+D000
      {"\xED\x9F\xBF", true},      // U+D7FF
      {"\xEE\x80\x80", true},      // U+E000
      {"\xEF\xBF\xBF", true},      // U+FFFF
      {"\xF0\x90\x80\x80", true},  // U+10000
      {"\xF0\xBF\xBF\xBF", true},  // U+3FFFF
      {"\xF1\x80\x80\x80", true},  // U+40000
      {"\xF3\xBF\xBF\xBF", true},  // U+FFFFF
      {"\xF4\x80\x80\x80", true},  // U+100000
      {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF
      // Bytes that never start a sequence.
      {"\x80", false},
      {"\xBF", false},
      {"\xC0\x80", false},  // overlong U+0000
      {"\xC1\xBF", false},  // overlong U+007F
      {"\xF5\x80\x80\x80", false},
      {"\xF7\xBF\xBF\xBF", false},
      {"\xF8\x88\x80\x80\x80", false},
      {"\xFE", false},
      {"\xFF", false},
      // Second bytes outside the lead's range.
      {"\xE0\x9F\xBF", false},      // overlong U+07FF
      {"\xED\xA0\x80", false},      // U+D800
      {"\xED\xBF\xBF", false},      // U+DFFF
      {"\xF0\x8F\xBF\xBF", false},  // overlong U+FFFF
      {"\xF4\x90\x80\x80", false},  // U+110000
      {"\xC2\x7F", false},
      {"\xC2\xC0", false},
      {"\xE1\x7F\x80", false},
      {"\xE1\xC0\x80", false},
      {"\xF1\x7F\x80\x80", false},
      {"\xF1\xC0\x80\x80", false},
      // Later continuation bytes that are none.
      {"\xE1\x80\x7F", false},
      {"\xE1\x80\xC0", false},
      {"\xE0\xA0\x41", false},
      {"\xF1\x80\x80\x7F", false},
      {"\xF1\x80\xC0\x80", false},
      {"\xF4\x8F\xBF\xC0", false},
      {"\xF0\x90\x80\xE1", false},
      // Truncated sequences.
      {"\xC2", false},
      {"\xDF", false},
      {"\xE0\xA0", false},
      {"\xEF\xBF", false},
      {"\xE1", false},
      {"\xF0\x90\x80", false},
      {"\xF4\x8F", false},
      {"\xF1", false},
      {"\xC3\xA9\xE2\x82", false},  // a whole sequence, then a cut one
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(PrintableForMessage(row.text));
    ExpectValidityAtEveryOffset(row.text, row.valid);
  }
}

// Every lane of the eight-byte ASCII check sees a high bit wherever it is.
TEST(IsValidUTF8Test, AByteWithItsHighBitSetIsSeenAtEveryPosition) {
  for (std::size_t at = 0; at < 24; ++at) {
    SCOPED_TRACE("at " + std::to_string(at));
    std::string text(24, '\x7F');
    text[at] = '\x80';
    EXPECT_FALSE(IsValidUTF8(text));
    text[at] = '\xC2';
    EXPECT_FALSE(IsValidUTF8(text));  // its continuation is ASCII or missing
    text.insert(at + 1, 1, '\xA9');
    EXPECT_TRUE(IsValidUTF8(text));
  }
}

// A view that ends inside a sequence is truncated, whatever bytes follow it
// in memory: nothing past its end is read.
TEST(IsValidUTF8Test, AViewEndingInsideASequenceIsTruncated) {
  const std::string whole = "ab\xF0\x9F\x98\x80";
  for (std::size_t cut = 3; cut < whole.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    EXPECT_FALSE(IsValidUTF8(std::string_view(whole).substr(0, cut)));
  }
  EXPECT_TRUE(IsValidUTF8(whole));
}

TEST(IsValidUTF8Test, EveryScalarValueIsValidInItsShortestFormOnly) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    const int shortest = ShortestLength(cp);
    if (IsValidUTF8(Encode(cp, shortest)) == surrogate) {
      ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(cp) << " in its shortest form";
      return;
    }
    for (int length = shortest + 1; length <= 4; ++length) {
      if (IsValidUTF8(Encode(cp, length))) {
        ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(cp) << " in " << length
                      << " bytes";
        return;
      }
    }
  }
  for (char32_t cp = 0x110000; cp <= 0x1FFFFF; ++cp) {
    if (IsValidUTF8(Encode(cp, 4))) {
      ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(cp) << " is above U+10FFFF";
      return;
    }
  }
}

TEST(PrintableForMessageTest, PrintableASCIIPassesAndEveryOtherByteIsEscaped) {
  using namespace std::string_literals;
  const struct {
    std::string bytes;
    std::string printable;
  } rows[] = {
      {"", ""},
      {"feature-1 \"on\"", "feature-1 \"on\""},
      {" ~", " ~"},  // the printable range's two ends
      {"\x1F", "\\x1F"},
      {"\x7F", "\\x7F"},
      {"\\", "\\x5C"},
      {"[]", "[]"},  // the backslash's neighbours
      {"\0"s, "\\x00"},
      {"a\0b"s, "a\\x00b"},
      {"\n\t\r", "\\x0A\\x09\\x0D"},
      {"\x80\x9F\xA0\xFF", "\\x80\\x9F\\xA0\\xFF"},
      {"caf\xC3\xA9", "caf\\xC3\\xA9"},  // UTF-8 too: messages stay ASCII
      {"\x1F \x7E\x7F\\\xFF\0"s, "\\x1F ~\\x7F\\x5C\\xFF\\x00"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(PrintableForMessage(row.bytes), row.printable);
  }
}

}  // namespace
}  // namespace kelabexperiment
