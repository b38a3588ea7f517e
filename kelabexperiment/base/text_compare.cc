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

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto& facet = ByteCaseFacet();
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    // Equal bytes map alike; only differing ones need the facet's call.
    if (x != y && facet.toupper(x) != facet.toupper(y)) return false;
  }
  return true;
}

UTF8String UpperCased(const UTF8String& text) {
  UTF8String upper = text;
  ByteCaseFacet().toupper(upper.data(), upper.data() + upper.size());
  return upper;
}

}  // namespace kelabexperiment
