#include "kelcore/locale.h"

#include <string>

#include <gtest/gtest.h>

namespace kelcore {
namespace {

using Bytes = std::basic_string<unsigned char>;

Bytes Of(const char* text) { return Bytes(reinterpret_cast<const unsigned char*>(text)); }

class LocaleTest : public ::testing::Test {
 protected:
  const std::locale locale_ = Locale::Default();
  const std::ctype<unsigned char>& ctype_ = std::use_facet<std::ctype<unsigned char>>(locale_);
  const std::ctype<char>& classic_ = std::use_facet<std::ctype<char>>(std::locale::classic());
};

// Byte for byte what the classic "C" locale answers for char.
TEST_F(LocaleTest, EveryByteIsClassifiedAndCasedAsInTheClassicLocale) {
  for (int byte = 0; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    const auto c = static_cast<unsigned char>(byte);
    const auto narrow = static_cast<char>(c);
    EXPECT_EQ(ctype_.toupper(c), static_cast<unsigned char>(classic_.toupper(narrow)));
    EXPECT_EQ(ctype_.tolower(c), static_cast<unsigned char>(classic_.tolower(narrow)));
    for (auto mask : {std::ctype_base::alpha, std::ctype_base::digit, std::ctype_base::space}) {
      EXPECT_EQ(ctype_.is(mask, c), classic_.is(mask, narrow));
    }
  }
}

// Each range form must stop at its end: the byte just past it is one that
// the operation would change or match.
TEST_F(LocaleTest, RangeFormsStopAtTheEndOfTheRange) {
  Bytes upper = Of("az\xE9q");
  ctype_.toupper(upper.data(), upper.data() + 3);
  EXPECT_EQ(upper, Of("AZ\xE9q"));
  Bytes lower = Of("AZ\xE9Q");
  ctype_.tolower(lower.data(), lower.data() + 3);
  EXPECT_EQ(lower, Of("az\xE9Q"));

  const Bytes text = Of("12ab3");
  const unsigned char* digits = text.data();
  EXPECT_EQ(ctype_.scan_is(std::ctype_base::alpha, digits, digits + 1), digits + 1);
  EXPECT_EQ(ctype_.scan_is(std::ctype_base::alpha, digits, digits + 4), digits + 2);
  EXPECT_EQ(ctype_.scan_not(std::ctype_base::alpha, digits + 2, digits + 3), digits + 3);
  EXPECT_EQ(ctype_.scan_not(std::ctype_base::digit, digits, digits + 4), digits + 2);

  std::ctype_base::mask masks[3] = {0, 0, std::ctype_base::mask(-1)};
  ctype_.is(digits + 1, digits + 3, masks);
  EXPECT_TRUE(masks[0] & std::ctype_base::digit);
  EXPECT_TRUE(masks[1] & std::ctype_base::alpha);
  EXPECT_FALSE(masks[1] & std::ctype_base::digit);
  EXPECT_EQ(masks[2], std::ctype_base::mask(-1));

  const char* const wide = "x\xE9y";
  unsigned char widened[3] = {0, 0, '!'};
  ctype_.widen(wide, wide + 2, widened);
  EXPECT_EQ(Bytes(widened, 3), Of("x\xE9!"));
  char narrowed[3] = {0, 0, '!'};
  ctype_.narrow(text.data(), text.data() + 2, '?', narrowed);
  EXPECT_EQ(std::string(narrowed, 3), "12!");
  EXPECT_EQ(ctype_.widen('x'), 'x');
  EXPECT_EQ(ctype_.narrow(0xE9, '?'), '\xE9');
}

}  // namespace
}  // namespace kelcore
