#include "store/record_codec.h"

#include "startup/module_constants.h"
#include "store/text_compare.h"
#include "store/variation_text.h"

namespace kelabexperiment {

using kelcore::serialization::JsonObject;

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
  using kelcore::serialization::AddToObject;
  boost::any object = JsonObject();
  AddToObject(object, kCampaignIdMember, TextOrEmpty(record.campaignId), false);
  AddToObject(object, kVariationIdMember, TextOrEmpty(record.variationId), false);
  AddToObject(object, kVariationMember, VariationKindToText(record.variation), false);
  AddToObject(object, kChallengerTypeMember, TextOrEmpty(record.challengerType), false);
  return kelcore::serialization::GetJSONUTF8String(object, false);
}

}  // namespace kelabexperiment
