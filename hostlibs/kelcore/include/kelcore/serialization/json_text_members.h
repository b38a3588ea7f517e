#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "kelcore/config/kel_exception.h"
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

// Raised when a document has more top-level members than the caller allows.
class KELCORE_EXPORT JsonLimitError : public config::kel_exception {
 public:
  using config::kel_exception::kel_exception;
};

// Where and why a text is not a JSON object, in words for a person.
struct JsonParseFailure {
  std::size_t offset = 0;  // the byte at which the reader gave up
  std::string reason;      // e.g. "syntax error", "content after the end of the document"
};

// Reads `text` exactly as JSONParse does (same grammar, UTF-8 checks, nesting
// limit and range of numbers) and returns the members of its top-level object in the
// order a walk of the JsonObject would give: ascending byte order of name,
// and of duplicate names only the last. Nested arrays and objects are checked
// but not kept. Returns none where JSONParse would give a null pointer or a
// value that is not an object. Never throws for bad input, except that a
// document with more than `maxMembers` top-level members (duplicates counted)
// throws JsonLimitError as soon as the parse meets the one too many. When it
// returns none and `failure` is not null, `*failure` says where and why.
//
// For objects whose members are texts, such as a file of one record per
// member: it builds no boost::any per value, so it is several times cheaper
// than JSONParse and keeps only the texts. Thread-safe.
KELCORE_EXPORT boost::optional<JsonTextMembers> JSONParseTextMembers(
    const UTF8String& text, std::size_t maxMembers = std::numeric_limits<std::size_t>::max(),
    JsonParseFailure* failure = nullptr);

// Where the value of the top-level member `name` starts in `text` (the last
// such member, as it is the one a reader keeps), and what kind of value it is:
// "a string", "a number", "a boolean", "null", "an array" or "an object".
// Meant for error messages: it re-scans the text. Returns none when no member
// has that name.
// REQUIRES: JSONParseTextMembers(text) returned members.
struct JsonMemberLocation {
  std::size_t offset;
  const char* kind;
};
KELCORE_EXPORT boost::optional<JsonMemberLocation> LocateJSONMember(const UTF8String& text,
                                                                    const UTF8String& name);

}  // namespace kelcore::serialization
