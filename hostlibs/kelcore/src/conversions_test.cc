#include "kelcore/string/conversions.h"

#include <gtest/gtest.h>

namespace kelcore::string {
namespace {

UTF8String Bytes(std::string_view text) { return FromStd(text); }

UTF16String Units(std::initializer_list<wchar_t> units) { return UTF16String(units); }

TEST(ConversionsTest, RoundTripsEveryPlane) {
  // "aé€😀": 1-, 2-, 3- and 4-byte sequences.
  const UTF8String text = Bytes("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  UnicodeErrorCode error = UnicodeErrorCode::kInvalidSequence;
  const UTF16String wide = UTF8to16(text, &error);
  EXPECT_EQ(error, UnicodeErrorCode::kNone);
  EXPECT_EQ(wide, Units({L'a', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(UTF16to8(wide, &error), text);
  EXPECT_EQ(error, UnicodeErrorCode::kNone);
}

TEST(ConversionsTest, IllFormedUTF8BecomesReplacementAndIsReported) {
  struct Case {
    std::string input;
    UTF16String expected;
    std::size_t errorAt;
  };
  const wchar_t R = 0xFFFD;
  const Case cases[] = {
      {"\x80", Units({R}), 0},                       // lone continuation byte
      {"a\xC0\xAF", Units({L'a', R, R}), 1},         // overlong '/'
      {"\xE0\x80\xAF", Units({R, R, R}), 0},         // overlong 3-byte form
      {"\xED\xA0\x80", Units({R, R, R}), 0},         // encoded surrogate
      {"\xF4\x90\x80\x80", Units({R, R, R, R}), 0},  // above U+10FFFF
      {"ab\xE2\x82", Units({L'a', L'b', R}), 2},     // truncated at the end
      {"\xF0\x9F\x98", Units({R}), 0},               // truncated 4-byte form
      {"\xFF", Units({R}), 0},
  };
  for (const Case& c : cases) {
    UnicodeErrorCode error = UnicodeErrorCode::kNone;
    std::size_t at = 99;
    EXPECT_EQ(UTF8to16(Bytes(c.input), &error, &at), c.expected) << c.input;
    EXPECT_EQ(error, UnicodeErrorCode::kInvalidSequence) << c.input;
    EXPECT_EQ(at, c.errorAt) << c.input;
    EXPECT_FALSE(IsValidUTF8(Bytes(c.input)));
  }
}

// ASCII is checked in blocks of eight bytes: a bad sequence must be found
// at every position relative to a block, and a good one accepted there.
TEST(ConversionsTest, ValidityDoesNotDependOnWhereASequenceFalls) {
  for (std::size_t at = 0; at < 20; ++at) {
    const std::string prefix(at, 'a');
    for (const char* bad : {"\xFF", "\xC3", "\xC3(", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
      EXPECT_FALSE(IsValidUTF8(Bytes(prefix + bad + "tail-of-ascii"))) << at << " " << bad;
      EXPECT_FALSE(IsValidUTF8(Bytes(prefix + bad))) << at << " " << bad;
    }
    EXPECT_TRUE(IsValidUTF8(Bytes(prefix + "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" + prefix)));
  }
}

TEST(ConversionsTest, IllFormedUTF16BecomesReplacement) {
  UnicodeErrorCode error = UnicodeErrorCode::kNone;
  std::size_t at = 99;
  // A lone high surrogate, a lone low surrogate, and a unit beyond 16 bits.
  EXPECT_EQ(UTF16to8(Units({L'x', 0xD800, L'y'}), &error, &at), Bytes("x\xEF\xBF\xBDy"));
  EXPECT_EQ(error, UnicodeErrorCode::kInvalidSequence);
  EXPECT_EQ(at, 1u);
  EXPECT_EQ(UTF16to8(Units({0xDC00})), Bytes("\xEF\xBF\xBD"));
  EXPECT_EQ(UTF16to8(Units({0xD800})), Bytes("\xEF\xBF\xBD"));  // truncated pair at the end
  if constexpr (sizeof(wchar_t) > 2) {
    EXPECT_EQ(UTF16to8(Units({static_cast<wchar_t>(0x1F600)})), Bytes("\xEF\xBF\xBD"));
  }
}

TEST(ConversionsTest, AsciiAndExceptionText) {
  EXPECT_EQ(AsciiToUTF16("Users", 5), Units({L'U', L's', L'e', L'r', L's'}));
  EXPECT_EQ(AsciiToUTF16("a\xC3", 2), Units({L'a', 0xFFFD}));
  EXPECT_EQ(StdToUTF8String(std::string("bad \0 cast", 10)), Bytes(std::string("bad \0 cast", 10)));
  // Exactly the printable ASCII range passes, less the backslash.
  EXPECT_EQ(PrintableForMessage(std::string("\x1F \x7E\x7F\\\xFF\0", 7)),
            "\\x1F ~\\x7F\\x5C\\xFF\\x00");
}

}  // namespace
}  // namespace kelcore::string
