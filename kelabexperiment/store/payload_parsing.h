#pragma once

#include <cstdint>

#include "host/kelcore.h"
#include "kelcore/serialization/json.h"
#include "store/variation_record.h"

namespace kelabexperiment {

using kelcore::serialization::JsonObject;

// Parsers of the two payloads of an update. They never fail: empty text,
// text that does not parse, a top level that is not an object and members of
// the wrong type all fall back to defaults.

// Members "variation" and "challengerType", names in any letter case, later
// members overriding earlier ones. Defaults: Disqualified and "none".
VariationPayload ParseVariationPayload(const UTF8String& payload);

// Members "variationId" (text) and "campaignId" (integer, written in decimal
// from its low 32 bits), recognised in any letter case but fetched under
// their exact names. An empty payload gives "disqualified" and an empty
// campaign; any other unusable payload gives two empty texts.
IdentifiersPayload ParseIdentifiersPayload(const UTF8String& payload);

// The member's text; the empty text when it is missing, null or not text.
UTF8String GetStringMember(const JsonObject& object, const char* name);

// The member's integer, signed or unsigned, cut to its low 32 bits; 0 when
// missing or null. Throws boost::bad_any_cast for any other type.
std::uint32_t GetUnsignedMember(const JsonObject& object, const char* name);

}  // namespace kelabexperiment
