// A module for the tests module_imports_*: it imports from kelcore and
// kelappsupport what the allowed list names (exactly, through an entry ending
// in "(", with an ABI tag) and three names it does not, one of them a member
// of a class whose other members are allowed. The check must report exactly
// those three.

#include "kelappsupport/feature/feature_overrides.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/filesupport/byte_streams.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/locale.h"
#include "kelcore/string/conversions.h"
#include "kelcore/utility/immutable_string.h"

#if defined(_WIN32)
#define FIXTURE_EXPORT __declspec(dllexport)
#else
#define FIXTURE_EXPORT __attribute__((visibility("default")))
#endif

FIXTURE_EXPORT int ImportCheckFixture(const kelcore::filesupport::File& file,
                                      const kelcore::UTF8String& name) {
  // Allowed.
  std::locale locale = kelcore::Locale::Default();
  kelcore::UTF16String text = kelcore::string::UTF8to16(name);
  text += kelcore::utility::ImmutableString::Create(name).ToString();
  kelappsupport::feature::RemoveOverride(name);
  // Not allowed.
  kelcore::filesupport::Dir::SetUserDocsDir(text);
  kelcore::filesupport::IPlatformByteStream stream(file, kelcore::filesupport::kStreamBinary);
  stream.Close();
  return kelappsupport::feature::ReadIntFeature(name, 0).value + static_cast<int>(text.size());
}
