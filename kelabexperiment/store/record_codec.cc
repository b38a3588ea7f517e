#include "store/record_codec.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/module_constants.h"
#include "base/text_compare.h"
#include "base/utf8.h"
#include "store/json_object_writer.h"
#include "store/json_text_reader.h"
#include "store/variation_text.h"

namespace kelabexperiment {

namespace {

enum class Field { kVariation, kChallengerType, kVariationId, kCampaignId, kNone };

// The record field a member name stands for: the written spelling first, as
// nearly every name is, then any letter case.
Field FieldOf(std::string_view name) {
  static const UTF8String* const names[] = {&kVariationMember, &kChallengerTypeMember,
                                            &kVariationIdMember, &kCampaignIdMember};
  for (std::size_t i = 0; i < 4; ++i) {
    if (name == kelcore::string::View(*names[i])) return static_cast<Field>(i);
  }
  for (std::size_t i = 0; i < 4; ++i) {
    if (EqualsIgnoreCase(name, kelcore::string::View(*names[i]))) return static_cast<Field>(i);
  }
  return Field::kNone;
}

// Sets `field` from a member's string value.
void Assign(VariationRecord& record, Field field, JsonRawString text) {
  switch (field) {
    case Field::kVariation:
      if (text.escaped) {
        record.variation = VariationKindFromText(Unescaped<UTF8String>(text));
      } else {
        record.variation = VariationKindFromText(text.raw);
      }
      break;
    case Field::kChallengerType:
      record.challengerType.emplace(Unescaped<UTF8String>(text));
      break;
    case Field::kVariationId:
      record.variationId.emplace(Unescaped<UTF8String>(text));
      break;
    case Field::kCampaignId:
      record.campaignId.emplace(Unescaped<UTF8String>(text));
      break;
    case Field::kNone:
      break;
  }
}

}  // namespace

void ReadStoredRecord(std::string_view recordText, VariationRecord& record) {
  // Per field, the member that sets it: of names that match it in any letter
  // case the greatest in byte order, and of equal names the last, as a walk
  // of the object in byte order of name would leave it.
  struct Winner {
    std::string_view name;
    std::string ownName;  // the name's content when it was written with escapes
    JsonRawString text;
    bool set = false;
  };
  Winner winners[4];
  // Names whose last value is not a string, and what it is: the smallest one
  // fails the record.
  std::vector<std::pair<std::string, const char*>> notText;
  JsonObjectReader reader(recordText);
  JsonMember member;
  std::string unescapedName;
  try {
    while (reader.Next(member)) {
      std::string_view name = member.name.raw;
      if (member.name.escaped) {
        unescapedName.clear();
        AppendUnescaped(member.name, unescapedName);
        name = unescapedName;
      }
      if (!notText.empty()) {
        notText.erase(std::remove_if(notText.begin(), notText.end(),
                                     [&](const auto& entry) { return entry.first == name; }),
                      notText.end());
      }
      if (member.kind != nullptr) {
        notText.emplace_back(name, member.kind);
        continue;
      }
      const Field field = FieldOf(name);
      if (field == Field::kNone) continue;
      Winner& winner = winners[static_cast<std::size_t>(field)];
      if (winner.set && name < winner.name) continue;
      winner.set = true;
      winner.text = member.text;
      if (member.name.escaped) {
        winner.ownName = name;
        winner.name = winner.ownName;
      } else {
        winner.name = name;
      }
    }
  } catch (const JsonTextError& e) {
    throw RecordError("the record is not a JSON object: " + e.Reason() + " at byte " +
                      std::to_string(e.Offset()) + " of the record");
  }
  if (!notText.empty()) {
    const auto& first = *std::min_element(notText.begin(), notText.end());
    throw RecordError("record member \"" + PrintableForMessage(first.first) + "\" is " +
                      first.second + "; expected a string");
  }
  for (std::size_t i = 0; i < 4; ++i) {
    if (winners[i].set) Assign(record, static_cast<Field>(i), winners[i].text);
  }
  if (!record.challengerType) record.challengerType = kNoneText;
}

VariationRecord ParseStoredRecord(const UTF8String& recordText) {
  VariationRecord record;
  ReadStoredRecord(kelcore::string::View(recordText), record);
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
