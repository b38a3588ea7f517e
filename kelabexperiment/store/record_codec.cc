#include "store/record_codec.h"

#include <limits>

#include "base/module_constants.h"
#include "base/text_compare.h"
#include "kelcore/serialization/json_object_writer.h"
#include "kelcore/serialization/json_text_members.h"
#include "kelcore/string/conversions.h"
#include "store/variation_text.h"

namespace kelabexperiment {

namespace {

std::string Printable(const UTF8String& text) {
  return kelcore::string::PrintableForMessage(kelcore::string::View(text));
}

}  // namespace

VariationRecord ParseStoredRecord(const UTF8String& recordText) {
  VariationRecord record;
  kelcore::serialization::JsonParseFailure failure;
  auto members = kelcore::serialization::JSONParseTextMembers(
      recordText, std::numeric_limits<std::size_t>::max(), &failure);
  if (!members) {
    throw RecordError("the record is not a JSON object: " + failure.reason + " at byte " +
                      std::to_string(failure.offset) + " of the record");
  }
  record.challengerType = kNoneText;
  for (auto& [name, text] : *members) {
    if (!text) {
      const auto where = kelcore::serialization::LocateJSONMember(recordText, name);
      throw RecordError("record member \"" + Printable(name) + "\" is " + where->kind +
                        "; expected a string");
    }
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
