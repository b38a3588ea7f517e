#include "store/record_codec.h"

#include "startup/module_constants.h"
#include "store/text_compare.h"
#include "store/variation_text.h"

namespace kelabexperiment {

VariationRecord ParseStoredRecord(const UTF8String& recordText) {
  VariationRecord record;
  auto members = kelcore::serialization::JSONParseTextMembers(recordText);
  if (!members) throw boost::bad_any_cast();
  record.challengerType = kNoneText;
  for (auto& [name, text] : *members) {
    if (!text) throw boost::bad_any_cast();
    if (EqualsIgnoreCase(name, kVariationMember)) {
      record.variation = VariationKindFromText(*text);
    } else if (EqualsIgnoreCase(name, kVariationIdMember)) {
      record.variationId = std::move(*text);
    } else if (EqualsIgnoreCase(name, kCampaignIdMember)) {
      record.campaignId = std::move(*text);
    } else if (EqualsIgnoreCase(name, kChallengerTypeMember)) {
      record.challengerType = std::move(*text);
    }
  }
  return record;
}

UTF8String SerializeRecord(const VariationRecord& record) {
  const UTF8String& campaignId = TextOrEmpty(record.campaignId);
  const UTF8String& challengerType = TextOrEmpty(record.challengerType);
  const UTF8String variation = VariationKindToText(record.variation);
  const UTF8String& variationId = TextOrEmpty(record.variationId);
  // Room for the four names and the punctuation, so the text grows once.
  constexpr std::size_t kNamesAndPunctuation = 80;
  kelcore::serialization::JsonObjectWriter object(kNamesAndPunctuation + campaignId.size() +
                                                  challengerType.size() + variation.size() +
                                                  variationId.size());
  // In byte order of name, as a JsonObject keeps members, so that the text
  // is the same as it always was.
  object.Add(kCampaignIdMember, campaignId);
  object.Add(kChallengerTypeMember, challengerType);
  object.Add(kVariationMember, variation);
  object.Add(kVariationIdMember, variationId);
  return object.Finish();
}

}  // namespace kelabexperiment
