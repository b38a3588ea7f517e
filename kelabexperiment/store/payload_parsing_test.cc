#include "store/payload_parsing.h"

#include <gtest/gtest.h>

#include "base/text_compare.h"
#include "kelcore/serialization/json.h"
#include "store/variation_text.h"
#include "testsupport/printers.h"

namespace kelabexperiment {
namespace {

UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

TEST(TextCompareTest, UpperCasesAsciiBytesOnly) {
  EXPECT_TRUE(EqualsIgnoreCase(T(""), T("")));
  EXPECT_TRUE(EqualsIgnoreCase(T("Forced_Control"), T("forced_control")));
  EXPECT_FALSE(EqualsIgnoreCase(T("forced_control "), T("forced_control")));
  EXPECT_FALSE(EqualsIgnoreCase(T("\xC3\xA9"), T("\xC3\x89")));  // é and É differ
  EXPECT_FALSE(EqualsIgnoreCase(T("a"), T("b")));
}

TEST(VariationTextTest, ReadsAndWritesTheFiveTexts) {
  const std::pair<const char*, VariationKind> reads[] = {
      {"intended_control", VariationKind::Control},
      {"CONTROL", VariationKind::Control},
      {"Challenger", VariationKind::Challenger},
      {"disqualified", VariationKind::Disqualified},
      {"Forced_Control", VariationKind::ForcedControl},
      {"groupB", VariationKind::Control},
      {"challenger ", VariationKind::Control},
      {"", VariationKind::Control},
  };
  for (const auto& [text, kind] : reads) EXPECT_EQ(VariationKindFromText(T(text)), kind) << text;
  EXPECT_EQ(VariationKindToText(VariationKind::Control), T("intended_control"));
  EXPECT_EQ(VariationKindToText(VariationKind::ForcedControl), T("forced_control"));
  EXPECT_EQ(VariationKindToText(static_cast<VariationKind>(9)), T(""));
}

TEST(PayloadParsingTest, VariationPayloadTable) {
  struct Case {
    const char* payload;
    VariationKind variation;
    const char* challengerType;
  };
  const Case cases[] = {
      {"", VariationKind::Disqualified, "none"},
      {"{}", VariationKind::Disqualified, "none"},
      {"[\"variation\"]", VariationKind::Disqualified, "none"},
      {"{not json", VariationKind::Disqualified, "none"},
      {"\"challenger\"", VariationKind::Disqualified, "none"},
      {R"({"variation":"CHALLENGER","challengerType":"copy"})", VariationKind::Challenger, "copy"},
      {R"({"variation":"groupB"})", VariationKind::Control, "none"},
      {R"({"variation":7})", VariationKind::Disqualified, "none"},
      {R"({"variation":null,"challengerType":""})", VariationKind::Disqualified, ""},
      {R"({"VARIATION":"challenger","challengertype":"x"})", VariationKind::Challenger, "x"},
      // Byte order walks "Variation" before "variation": the later wins.
      {R"({"variation":"challenger","Variation":"disqualified"})", VariationKind::Challenger,
       "none"},
      {R"({"variation":"forced_control"})", VariationKind::ForcedControl, "none"},
  };
  for (const Case& c : cases) {
    const VariationPayload p = ParseVariationPayload(T(c.payload));
    EXPECT_EQ(p.variation, c.variation) << c.payload;
    EXPECT_EQ(p.challengerType, T(c.challengerType)) << c.payload;
  }
}

TEST(PayloadParsingTest, IdentifiersPayloadTable) {
  struct Case {
    const char* payload;
    const char* variationId;
    const char* campaignId;
  };
  const Case cases[] = {
      {"", "disqualified", ""},
      {"{}", "", ""},
      {"[1]", "", ""},
      {"{", "", ""},
      {R"({"variationId":"v-17","campaignId":123})", "v-17", "123"},
      {R"({"campaignId":"123"})", "", ""},  // a string is not a number
      {R"({"campaignId":4294967296})", "", "0"},
      {R"({"campaignId":4294967297})", "", "1"},
      {R"({"campaignId":-1})", "", "4294967295"},
      {R"({"campaignId":18446744073709551615})", "", "4294967295"},
      {R"({"campaignId":1.5})", "", ""},
      {R"({"campaignId":null,"variationId":null})", "", ""},
      {R"({"variationId":42})", "", ""},
      {R"({"variationId":"forced_control"})", "forced_control", ""},
      // Recognised in any case, but fetched under the exact name.
      {R"({"VariationId":"x","CampaignID":5})", "", "0"},
      {R"({"CampaignID":5,"campaignId":6})", "", "6"},
  };
  for (const Case& c : cases) {
    const IdentifiersPayload p = ParseIdentifiersPayload(T(c.payload));
    EXPECT_EQ(p.variationId, T(c.variationId)) << c.payload;
    EXPECT_EQ(p.campaignId, T(c.campaignId)) << c.payload;
  }
}

TEST(PayloadParsingTest, MemberGettersFollowTheirTypes) {
  const auto parsed = kelcore::serialization::JSONParse(T(R"({"s":"x","n":7,"f":2.5})"));
  const auto& object = boost::any_cast<const JsonObject&>(*parsed);
  EXPECT_EQ(GetStringMember(object, "s"), T("x"));
  EXPECT_EQ(GetStringMember(object, "n"), T(""));
  EXPECT_EQ(GetStringMember(object, "missing"), T(""));
  EXPECT_EQ(GetUnsignedMember(object, "n"), 7u);
  EXPECT_EQ(GetUnsignedMember(object, "missing"), 0u);
  EXPECT_THROW(GetUnsignedMember(object, "f"), boost::bad_any_cast);
  EXPECT_THROW(GetUnsignedMember(object, "s"), boost::bad_any_cast);
}

}  // namespace
}  // namespace kelabexperiment
