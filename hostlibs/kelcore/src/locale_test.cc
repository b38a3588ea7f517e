#include "kelcore/locale.h"

#include <gtest/gtest.h>

namespace kelcore {
namespace {

TEST(LocaleTest, DefaultCarriesByteCtypeWithClassicMapping) {
  const std::locale locale = Locale::Default();
  ASSERT_TRUE(std::has_facet<std::ctype<unsigned char>>(locale));
  const auto& ctype = std::use_facet<std::ctype<unsigned char>>(locale);
  for (int byte = 0; byte < 256; ++byte) {
    const auto c = static_cast<unsigned char>(byte);
    const unsigned char expected = (c >= 'a' && c <= 'z') ? c - 32 : c;
    EXPECT_EQ(ctype.toupper(c), expected) << byte;
  }
  unsigned char text[] = "forced_Control\xE9";
  ctype.toupper(text, text + sizeof(text) - 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(text), "FORCED_CONTROL\xE9");
  EXPECT_TRUE(ctype.is(std::ctype_base::alpha, 'q'));
  EXPECT_FALSE(ctype.is(std::ctype_base::alpha, 0xE9));
  EXPECT_EQ(ctype.widen('x'), 'x');
}

}  // namespace
}  // namespace kelcore
