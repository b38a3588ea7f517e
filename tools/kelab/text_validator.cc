#include "text_validator.h"

#include "kelcore/string/conversions.h"

namespace kelab {

const CLI::Validator kUtf8Text(
    [](std::string& text) -> std::string {
      return kelcore::string::IsValidUTF8(kelcore::string::FromStd(text))
                 ? ""
                 : "the text is not valid UTF-8";
    },
    "TEXT");

}  // namespace kelab
