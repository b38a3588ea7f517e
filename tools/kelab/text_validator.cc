#include "text_validator.h"

#include "base/utf8.h"

namespace kelab {

const CLI::Validator kUtf8Text(
    [](std::string& text) -> std::string {
      return kelabexperiment::IsValidUTF8(text) ? "" : "the text is not valid UTF-8";
    },
    "TEXT");

}  // namespace kelab
