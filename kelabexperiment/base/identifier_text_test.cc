#include "base/identifier_text.h"

#include <string>

#include <gtest/gtest.h>

#include "base/utf8.h"

namespace kelabexperiment {
namespace {

using namespace std::string_literals;

TEST(IdentifierTextTest, WellFormedTextComesBackExactlyAndIllFormedIsToldApart) {
  const struct {
    std::string bytes;
    bool exact;
    std::string text;
  } rows[] = {
      {"", true, ""},
      {"checkoutFlow", true, "checkoutFlow"},
      {"a\0b"s, true, "a\0b"s},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", true,
       "caf\xC3\xA9 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"},
      {"a\xFF", false, "a\xEF\xBF\xBD"},
      {"\xED\xA0\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
      {"b\xC0", false, "b\xEF\xBF\xBD"},  // a lead byte that never starts a sequence
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(PrintableForMessage(row.bytes));
    const IdentifierText got =
        TextOfIdentifier(ImmutableString::Create(kelcore::string::FromStd(row.bytes)));
    EXPECT_EQ(got.exact, row.exact);
    EXPECT_EQ(kelcore::string::ToStd(got.text), row.text);
  }
}

}  // namespace
}  // namespace kelabexperiment
