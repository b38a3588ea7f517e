#include "base/text_compare.h"
#include "kelcore/string/conversions.h"

namespace kelabexperiment {

const std::ctype<unsigned char>& ByteCaseFacet() {
  // The default locale is process-wide and never replaced, so its facet can
  // be looked up once.
  static const std::locale* const locale = new std::locale(kelcore::Locale::Default());
  static const auto& facet = std::use_facet<std::ctype<unsigned char>>(*locale);
  return facet;
}

bool EqualsIgnoreCase(const UTF8String& a, const UTF8String& b) {
  if (a.size() != b.size()) return false;
  const auto& facet = ByteCaseFacet();
  for (std::size_t i = 0; i < a.size(); ++i) {
    // Equal bytes map alike; only differing ones need the facet's call.
    if (a[i] != b[i] && facet.toupper(a[i]) != facet.toupper(b[i])) return false;
  }
  return true;
}

UTF8String UpperCased(const UTF8String& text) {
  UTF8String upper = text;
  ByteCaseFacet().toupper(upper.data(), upper.data() + upper.size());
  return upper;
}

}  // namespace kelabexperiment
