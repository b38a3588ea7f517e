#pragma once

#include <string_view>

#include "host/kelcore.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// "intended_control" and "control" read as Control, "challenger",
// "disqualified" and "forced_control" as their kinds, in any letter case;
// every other text reads as Control.
VariationKind VariationKindFromText(std::string_view text);
inline VariationKind VariationKindFromText(const UTF8String& text) {
  return VariationKindFromText(kelcore::string::View(text));
}

// The written text of a kind ("control" is written "intended_control"); the
// empty text for a value outside the four kinds.
UTF8String VariationKindToText(VariationKind kind);

}  // namespace kelabexperiment
