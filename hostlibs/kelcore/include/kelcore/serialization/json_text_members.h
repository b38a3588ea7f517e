#pragma once

#include <vector>

#include <boost/optional.hpp>

#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"

namespace kelcore::serialization {

// One member of a JSON object, as JSONParseTextMembers reads it.
struct JsonTextMember {
  UTF8String name;
  // The value when it is a JSON string; absent for any other value (null,
  // number, boolean, array or object).
  boost::optional<UTF8String> text;
};
using JsonTextMembers = std::vector<JsonTextMember, allocator::STLAllocator<JsonTextMember>>;

// Reads `text` exactly as JSONParse does (same grammar, UTF-8 checks, nesting
// limit and range of numbers) and returns the members of its top-level object in the
// order a walk of the JsonObject would give: ascending byte order of name,
// and of duplicate names only the last. Nested arrays and objects are checked
// but not kept. Returns none where JSONParse would give a null pointer or a
// value that is not an object. Never throws for bad input.
//
// For objects whose members are texts, such as a file of one record per
// member: it builds no boost::any per value, so it is several times cheaper
// than JSONParse and keeps only the texts. Thread-safe.
KELCORE_EXPORT boost::optional<JsonTextMembers> JSONParseTextMembers(const UTF8String& text);

}  // namespace kelcore::serialization
