#include "store/record_codec.h"

#include "startup/module_constants.h"
#include "store/text_compare.h"
#include "store/variation_text.h"

namespace kelabexperiment {

using kelcore::serialization::JsonObject;

VariationRecord ParseStoredRecord(const UTF8String& recordText) {
  VariationRecord record;
  const auto parsed = kelcore::serialization::JSONParse(recordText);
  if (!parsed) throw boost::bad_any_cast();
  const auto& object = boost::any_cast<const JsonObject&>(*parsed);
  record.challengerType = kNoneText;
  for (const auto& [name, value] : object) {
    if (!value) throw boost::bad_any_cast();
    const auto& text = boost::any_cast<const UTF8String&>(*value);
    if (EqualsIgnoreCase(name, kVariationMember)) {
      record.variation = VariationKindFromText(text);
    } else if (EqualsIgnoreCase(name, kVariationIdMember)) {
      record.variationId = text;
    } else if (EqualsIgnoreCase(name, kCampaignIdMember)) {
      record.campaignId = text;
    } else if (EqualsIgnoreCase(name, kChallengerTypeMember)) {
      record.challengerType = text;
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
