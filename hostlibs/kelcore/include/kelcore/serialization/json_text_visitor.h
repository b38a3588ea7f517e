#pragma once

#include <string_view>

#include "kelcore/kelcore_export.h"

namespace kelcore::serialization {

// Called for each member; returns false to stop the reading.
using JsonTextMemberVisitor = bool (*)(void* context, std::string_view name,
                                       std::string_view value);

// Reads `text`, with the grammar and UTF-8 checks of JSONParse, when it is one
// JSON object whose every member's value is a string, and calls
// `visit(context, name, value)` for each member as soon as the parser has
// read it: in the order written, duplicates included, nothing built. The
// views are valid during the call only. Returns false, having visited the
// members before it, at the first sign that `text` is anything else (or when
// `visit` returns false).
//
// For readers whose files are nearly always such objects: one pass with no
// intermediate copies, and the thorough reader (JSONParseTextMembers) only
// when this one says no. Thread-safe.
KELCORE_EXPORT bool VisitJSONTextMembers(std::string_view text, JsonTextMemberVisitor visit,
                                         void* context);

// The same with any callable `bool(std::string_view name, std::string_view value)`.
template <typename Visit>
bool VisitJSONTextMembers(std::string_view text, Visit& visit) {
  return VisitJSONTextMembers(
      text,
      [](void* context, std::string_view name, std::string_view value) {
        return (*static_cast<Visit*>(context))(name, value);
      },
      &visit);
}

}  // namespace kelcore::serialization
