#include "store/payload_parsing.h"

#include <string>

#include "base/module_constants.h"
#include "base/text_compare.h"
#include "kelcore/serialization/json.h"
#include "store/variation_text.h"

namespace kelabexperiment {
namespace {

using kelcore::serialization::JSONParse;
using kelcore::serialization::JsonValuePtr;

// The parsed payload's top-level object, or null when there is none.
boost::shared_ptr<const JsonObject> ParseObject(const UTF8String& payload) {
  const JsonValuePtr parsed = JSONParse(payload);
  if (!parsed) return nullptr;
  const auto* object = boost::any_cast<JsonObject>(parsed.get());
  if (object == nullptr) return nullptr;
  // Share ownership with the parse result instead of copying the object.
  return boost::shared_ptr<const JsonObject>(parsed, object);
}

}  // namespace

VariationPayload ParseVariationPayload(const UTF8String& payload) {
  VariationPayload result{VariationKind::Disqualified, kNoneText};
  if (payload.empty()) return result;
  const auto object = ParseObject(payload);
  if (!object) return result;
  for (const auto& [name, value] : *object) {
    const auto* text = value ? boost::any_cast<UTF8String>(value.get()) : nullptr;
    if (text == nullptr) continue;
    if (EqualsIgnoreCase(name, kVariationMember)) result.variation = VariationKindFromText(*text);
    if (EqualsIgnoreCase(name, kChallengerTypeMember)) result.challengerType = *text;
  }
  return result;
}

IdentifiersPayload ParseIdentifiersPayload(const UTF8String& payload) {
  IdentifiersPayload result;
  if (payload.empty()) {
    result.variationId = kDisqualifiedText;
    return result;
  }
  const auto object = ParseObject(payload);
  if (!object) return result;
  for (const auto& [name, value] : *object) {
    if (!value) continue;
    if (EqualsIgnoreCase(name, kVariationIdMember)) {
      result.variationId = GetStringMember(*object, "variationId");
    }
    if (EqualsIgnoreCase(name, kCampaignIdMember)) {
      try {
        result.campaignId =
            kelcore::string::FromStd(std::to_string(GetUnsignedMember(*object, "campaignId")));
      } catch (const boost::bad_any_cast&) {
        // Not an integer: the campaign keeps what it had.
      }
    }
  }
  return result;
}

UTF8String GetStringMember(const JsonObject& object, const char* name) {
  const JsonValuePtr value = kelcore::serialization::GetVariantInObject(object, name);
  const auto* text = value ? boost::any_cast<UTF8String>(value.get()) : nullptr;
  return text != nullptr ? *text : UTF8String();
}

std::uint32_t GetUnsignedMember(const JsonObject& object, const char* name) {
  const JsonValuePtr value = kelcore::serialization::GetVariantInObject(object, name);
  if (!value) return 0;
  if (const auto* u = boost::any_cast<std::uint64_t>(value.get())) {
    return static_cast<std::uint32_t>(*u);
  }
  return static_cast<std::uint32_t>(boost::any_cast<std::int64_t>(*value));
}

}  // namespace kelabexperiment
