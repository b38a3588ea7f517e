#include "store/record_codec.h"

#include <limits>

#include "base/module_constants.h"
#include "base/text_compare.h"
#include "kelcore/serialization/json_text_members.h"
#include "kelcore/serialization/json_text_visitor.h"
#include "kelcore/string/conversions.h"
#include "store/json_object_writer.h"
#include "store/variation_text.h"

namespace kelabexperiment {

namespace {

std::string Printable(const UTF8String& text) {
  return kelcore::string::PrintableForMessage(kelcore::string::View(text));
}

enum class Field { kVariation, kChallengerType, kVariationId, kCampaignId, kNone };

// The record field a member name stands for: the written spelling first, as
// nearly every name is, then any letter case.
Field FieldOf(std::string_view name) {
  const UTF8String* const names[] = {&kVariationMember, &kChallengerTypeMember, &kVariationIdMember,
                                     &kCampaignIdMember};
  for (std::size_t i = 0; i < 4; ++i) {
    if (name == kelcore::string::View(*names[i])) return static_cast<Field>(i);
  }
  for (std::size_t i = 0; i < 4; ++i) {
    if (EqualsIgnoreCase(name, kelcore::string::View(*names[i]))) return static_cast<Field>(i);
  }
  return Field::kNone;
}

UTF8String Owned(std::string_view text) { return kelcore::string::FromStd(text); }
UTF8String Owned(UTF8String&& text) { return std::move(text); }

// Sets `field` from a member's text (a view, or a text to take over).
template <typename Text>
void Assign(VariationRecord& record, Field field, Text&& text) {
  switch (field) {
    case Field::kVariation:
      record.variation = VariationKindFromText(text);
      break;
    case Field::kChallengerType:
      record.challengerType.emplace(Owned(std::forward<Text>(text)));
      break;
    case Field::kVariationId:
      record.variationId.emplace(Owned(std::forward<Text>(text)));
      break;
    case Field::kCampaignId:
      record.campaignId.emplace(Owned(std::forward<Text>(text)));
      break;
    case Field::kNone:
      break;
  }
}

}  // namespace

boost::optional<VariationRecord> ReadWellFormedRecord(std::string_view recordText) {
  VariationRecord record;
  unsigned seen = 0;
  auto visit = [&](std::string_view name, std::string_view text) {
    const Field field = FieldOf(name);
    if (field == Field::kNone) return true;
    const unsigned bit = 1u << static_cast<unsigned>(field);
    if (seen & bit) return false;  // named twice: which one wins is ParseStoredRecord's call
    seen |= bit;
    Assign(record, field, text);
    return true;
  };
  if (!kelcore::serialization::VisitJSONTextMembers(recordText, visit)) return boost::none;
  if (!record.challengerType) record.challengerType = kNoneText;
  return record;
}

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
    Assign(record, FieldOf(kelcore::string::View(name)), std::move(*text));
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
  JsonObjectWriter object(kNamesAndPunctuation + campaignId.size() + challengerType.size() +
                          variation.size() + variationId.size());
  // In byte order of name, as a JsonObject keeps members, so that the text
  // is the same as it always was.
  object.Add(kCampaignIdMember, campaignId);
  object.Add(kChallengerTypeMember, challengerType);
  object.Add(kVariationMember, variation);
  object.Add(kVariationIdMember, variationId);
  return object.Finish();
}

}  // namespace kelabexperiment
