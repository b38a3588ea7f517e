#include "kelcore/string/conversions.h"

#include <gtest/gtest.h>

namespace kelcore::string {
namespace {

UTF8String Bytes(std::string_view text) { return FromStd(text); }

UTF16String Units(std::initializer_list<wchar_t> units) { return UTF16String(units); }

constexpr wchar_t R = 0xFFFD;

// ASCII is checked in blocks of eight bytes: whether text is valid must not
// depend on where a sequence falls relative to a block.
bool ValidAtEveryOffset(const std::string& text, bool valid) {
  for (std::size_t offset = 0; offset < 20; ++offset) {
    const std::string ascii(offset, 'a');
    if (IsValidUTF8(Bytes(ascii + text)) != valid ||
        IsValidUTF8(Bytes(ascii + text + ascii)) != valid)
      return false;
  }
  return true;
}

// Each encoded length at both of its ends, and the surrogate pairs' ends.
TEST(ConversionsTest, WellFormedTextRoundTripsAtEveryLengthBoundary) {
  const struct {
    std::string utf8;
    UTF16String utf16;
  } rows[] = {
      {"a\x7F", Units({L'a', 0x7F})},
      {"\xC2\x80\xDF\xBF", Units({0x80, 0x7FF})},
      {"\xE0\xA0\x80\xED\x9F\xBF", Units({0x800, 0xD7FF})},
      {"\xEE\x80\x80\xEF\xBF\xBF", Units({0xE000, 0xFFFF})},
      {"\xF0\x90\x80\x80", Units({0xD800, 0xDC00})},  // U+10000
      {"\xF4\x8F\xBF\xBF", Units({0xDBFF, 0xDFFF})},  // U+10FFFF
      {"\xF0\x9F\x98\x80", Units({0xD83D, 0xDE00})},  // U+1F600
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(PrintableForMessage(row.utf8));
    UnicodeErrorCode error = UnicodeErrorCode::kInvalidSequence;
    EXPECT_EQ(UTF8to16(Bytes(row.utf8), &error), row.utf16);
    EXPECT_EQ(error, UnicodeErrorCode::kNone);
    error = UnicodeErrorCode::kInvalidSequence;
    EXPECT_EQ(UTF16to8(row.utf16, &error), Bytes(row.utf8));
    EXPECT_EQ(error, UnicodeErrorCode::kNone);
    EXPECT_TRUE(ValidAtEveryOffset(row.utf8, true));
  }
}

TEST(ConversionsTest, IllFormedUTF8BecomesReplacementAndIsReportedWhereItStarts) {
  const struct {
    std::string input;
    UTF16String expected;
    std::size_t errorAt;
  } rows[] = {
      {"\x80", Units({R}), 0},                       // lone continuation byte
      {"a\xC1\xBF", Units({L'a', R, R}), 1},         // overlong 2-byte form
      {"\xE0\x9F\xBF", Units({R, R, R}), 0},         // overlong 3-byte form
      {"\xED\xA0\x80", Units({R, R, R}), 0},         // encoded surrogate
      {"\xF0\x8F\xBF\xBF", Units({R, R, R, R}), 0},  // overlong 4-byte form
      {"\xF4\x90\x80\x80", Units({R, R, R, R}), 0},  // above U+10FFFF
      {"\xF5\x80", Units({R, R}), 0},
      {"\xFF", Units({R}), 0},
      {"ab\xE2\x82", Units({L'a', L'b', R}), 2},  // truncated at the end
      {"\xF0\x9F\x98", Units({R}), 0},            // one replacement for the whole prefix
      {"\xC3(\xFF", Units({R, L'(', R}), 0},      // only the first error's place
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(PrintableForMessage(row.input));
    UnicodeErrorCode error = UnicodeErrorCode::kNone;
    std::size_t at = 99;
    EXPECT_EQ(UTF8to16(Bytes(row.input), &error, &at), row.expected);
    EXPECT_EQ(error, UnicodeErrorCode::kInvalidSequence);
    EXPECT_EQ(at, row.errorAt);
    EXPECT_TRUE(ValidAtEveryOffset(row.input, false));
  }
}

TEST(ConversionsTest, IllFormedUTF16BecomesReplacementAndIsReportedWhereItStarts) {
  const std::string kR = "\xEF\xBF\xBD";
  const struct {
    UTF16String input;
    std::string expected;
    std::size_t errorAt;
  } rows[] = {
      {Units({L'x', 0xD800, L'y'}), "x" + kR + "y", 1},  // high surrogate alone
      {Units({L'x', 0xDBFF}), "x" + kR, 1},              // ... and at the end
      {Units({0xDC00, 0xDFFF}), kR + kR, 0},             // low surrogates alone
      {Units({0xD800, 0xDBFF, 0xDC00}), kR + "\xF4\x8F\xB0\x80", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    UnicodeErrorCode error = UnicodeErrorCode::kNone;
    std::size_t at = 99;
    EXPECT_EQ(UTF16to8(row.input, &error, &at), Bytes(row.expected));
    EXPECT_EQ(error, UnicodeErrorCode::kInvalidSequence);
    EXPECT_EQ(at, row.errorAt);
  }
  if constexpr (sizeof(wchar_t) > 2) {
    EXPECT_EQ(UTF16to8(Units({static_cast<wchar_t>(0x10000)})), Bytes(kR));
  }
}

TEST(ConversionsTest, AsciiAndExceptionText) {
  EXPECT_EQ(AsciiToUTF16("Us\x7F", 3), Units({L'U', L's', 0x7F}));
  EXPECT_EQ(AsciiToUTF16("a\x80", 2), Units({L'a', R}));
  EXPECT_EQ(StdToUTF8String(std::string("bad \0 cast", 10)), Bytes(std::string("bad \0 cast", 10)));
  // Exactly the printable ASCII range passes, less the backslash.
  EXPECT_EQ(PrintableForMessage(std::string("\x1F \x7E\x7F\\\xFF\0", 7)),
            "\\x1F ~\\x7F\\x5C\\xFF\\x00");
}

}  // namespace
}  // namespace kelcore::string
