#include "base/identifier_text.h"

#include "kelcore/string/conversions.h"

namespace kelabexperiment {

IdentifierText TextOfIdentifier(const ImmutableString& id) {
  IdentifierText result;
  result.text = kelcore::string::UTF16to8(id.ToString());
  result.exact = ImmutableString::Create(result.text) == id;
  return result;
}

}  // namespace kelabexperiment
