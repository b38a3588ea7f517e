// UTF-8/UTF-16 conversions accept any input, always produce well-formed
// output, and round-trip well-formed input exactly.

#include "fuzz_support.h"
#include "kelcore/string/conversions.h"

namespace {

bool WellFormedUTF16(const kelcore::UTF16String& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto unit = static_cast<std::uint32_t>(text[i]);
    if (unit > 0xFFFF || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= text.size()) return false;
      const auto next = static_cast<std::uint32_t>(text[++i]);
      if (next < 0xDC00 || next > 0xDFFF) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelcore::string;
  const kelcore::UTF8String bytes = fuzz::Text(data, size);
  UnicodeErrorCode error;
  const kelcore::UTF16String wide = UTF8to16(bytes, &error);
  fuzz::Require(WellFormedUTF16(wide));
  fuzz::Require((error == UnicodeErrorCode::kNone) == IsValidUTF8(bytes));
  const kelcore::UTF8String back = UTF16to8(wide);
  fuzz::Require(IsValidUTF8(back));
  if (error == UnicodeErrorCode::kNone) fuzz::Require(back == bytes);

  // The same bytes read as UTF-16 code units, in pairs.
  kelcore::UTF16String units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  }
  const kelcore::UTF8String narrowed = UTF16to8(units, &error);
  fuzz::Require(IsValidUTF8(narrowed));
  if (error == UnicodeErrorCode::kNone) fuzz::Require(UTF8to16(narrowed) == units);
  return 0;
}
