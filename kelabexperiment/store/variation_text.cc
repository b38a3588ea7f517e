#include "store/variation_text.h"

#include "base/module_constants.h"
#include "base/text_compare.h"

namespace kelabexperiment {

VariationKind VariationKindFromText(std::string_view text) {
  const std::pair<const UTF8String*, VariationKind> known[] = {
      {&kIntendedControlText, VariationKind::Control},
      {&kControlText, VariationKind::Control},
      {&kChallengerText, VariationKind::Challenger},
      {&kDisqualifiedText, VariationKind::Disqualified},
      {&kForcedControlText, VariationKind::ForcedControl},
  };
  // The written spelling first, as nearly every stored text is.
  for (const auto& [name, kind] : known) {
    if (text == kelcore::string::View(*name)) return kind;
  }
  for (const auto& [name, kind] : known) {
    if (EqualsIgnoreCase(text, kelcore::string::View(*name))) return kind;
  }
  return VariationKind::Control;
}

UTF8String VariationKindToText(VariationKind kind) {
  switch (kind) {
    case VariationKind::Control:
      return kIntendedControlText;
    case VariationKind::Challenger:
      return kChallengerText;
    case VariationKind::Disqualified:
      return kDisqualifiedText;
    case VariationKind::ForcedControl:
      return kForcedControlText;
  }
  return UTF8String();
}

}  // namespace kelabexperiment
