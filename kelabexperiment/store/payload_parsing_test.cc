#include "store/payload_parsing.h"

#include <gtest/gtest.h>

#include "testsupport/printers.h"

namespace kelabexperiment {
namespace {

UTF8String T(std::string_view text) { return kelcore::string::FromStd(text); }

TEST(PayloadParsingTest, VariationPayloadTable) {
  struct Case {
    const char* payload;
    VariationKind variation;
    const char* challengerType;
  };
  const Case cases[] = {
      {"", VariationKind::Disqualified, "none"},
      {"[\"variation\"]", VariationKind::Disqualified, "none"},
      {"{not json", VariationKind::Disqualified, "none"},
      {R"({"variation":"CHALLENGER","challengerType":"copy"})", VariationKind::Challenger, "copy"},
      {R"({"variation":"groupB"})", VariationKind::Control, "none"},
      {R"({"variation":7})", VariationKind::Disqualified, "none"},
      {R"({"variation":null,"challengerType":""})", VariationKind::Disqualified, ""},
      {R"({"VARIATION":"challenger","challengertype":"x"})", VariationKind::Challenger, "x"},
      // Byte order walks "Variation" before "variation": the later wins.
      {R"({"variation":"challenger","Variation":"disqualified"})", VariationKind::Challenger,
       "none"},
      // The five texts in any letter case; anything else reads as control.
      {R"({"variation":"Forced_Control"})", VariationKind::ForcedControl, "none"},
      {R"({"variation":"intended_control"})", VariationKind::Control, "none"},
      {R"({"variation":"CONTROL"})", VariationKind::Control, "none"},
      {R"({"variation":"DISQUALIFIED"})", VariationKind::Disqualified, "none"},
      {R"({"variation":"challenger "})", VariationKind::Control, "none"},
      {R"({"variation":"challenged"})", VariationKind::Control, "none"},  // as long as challenger
      {R"({"variation":""})", VariationKind::Control, "none"},
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
      {"[1]", "", ""},
      {"{", "", ""},
      {R"({"variationId":"v-17","campaignId":123})", "v-17", "123"},
      {R"({"campaignId":"123"})", "", ""},  // a string is not a number
      {R"({"campaignId":4294967296})", "", "0"},
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

}  // namespace
}  // namespace kelabexperiment
