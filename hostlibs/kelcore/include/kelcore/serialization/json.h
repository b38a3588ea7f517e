#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include <boost/any.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"

namespace kelcore::serialization {

// A parsed JSON value. A null pointer is JSON null (or "no value"); otherwise
// the boost::any holds exactly one of:
//   JsonObject, JsonArray, UTF8String, std::int64_t, std::uint64_t (integers
//   above INT64_MAX), double (any other number), bool.
using JsonValuePtr = boost::shared_ptr<boost::any>;
using JsonObject = std::map<UTF8String, JsonValuePtr, std::less<void>,
                            allocator::STLAllocator<std::pair<const UTF8String, JsonValuePtr>>>;
using JsonArray = std::vector<JsonValuePtr, allocator::STLAllocator<JsonValuePtr>>;

// Parses UTF-8 JSON text (RFC 8259; strings must be valid UTF-8; nesting is
// limited to 64 levels; a number beyond the range of a double does not
// parse). Returns a null pointer for text that does not parse,
// and for the document `null`. Never throws for bad input. Duplicate member
// names keep the last value.
KELCORE_EXPORT JsonValuePtr JSONParse(const UTF8String& text);

// The member `key` of `object`, or a null pointer when there is none.
KELCORE_EXPORT JsonValuePtr GetVariantInObject(const JsonObject& object, const UTF8String& key);
KELCORE_EXPORT JsonValuePtr GetVariantInObject(const JsonObject& object, const char* key);

// Adds the member (key, value) to the JsonObject held by `object`. When the
// key is present already the old value stays, unless `overwrite` is true.
// Throws boost::bad_any_cast when `object` does not hold a JsonObject.
KELCORE_EXPORT void AddToObject(boost::any& object, const UTF8String& key, const boost::any& value,
                                bool overwrite);

// Writes `value` (any of the held types above; an empty any is null) as
// compact JSON text, members in the object's order. Throws
// std::invalid_argument for a held type outside that list, for a string that
// is not valid UTF-8, for a number that is not finite and for `pretty` =
// true, which this host does not offer.
KELCORE_EXPORT UTF8String GetJSONUTF8String(const boost::any& value, bool pretty);

}  // namespace kelcore::serialization
