#include "manager/user_state_path.h"

#include <filesystem>
#include <string>

#include "base/identifier_text.h"
#include "base/module_constants.h"
#include "base/text_compare.h"
#include "base/utf8.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"
#include "kelcore/string/conversions.h"
#include "platform/env.h"
#include "platform/folders.h"
#include "store/state_file.h"

namespace kelabexperiment {
namespace {

using kelcore::string::View;

bool IsReservedDeviceName(const UTF8String& userId) {
  // The part before the first dot decides: "con.txt" is as reserved as "CON".
  const std::size_t dot = userId.find('.');
  const UTF8String stem = UpperCased(userId.substr(0, dot));
  const std::string_view name = View(stem);
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" ||
      name == "CONOUT$") {
    return true;
  }
  if (name.substr(0, 3) != "COM" && name.substr(0, 3) != "LPT") return false;
  const std::string_view digit = name.substr(3);
  // Windows also reserves the ports numbered with superscript one to three.
  return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
         digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

const char* Problem(const UTF8String& userId) {
  if (userId.size() > kMaxUserIdentifierBytes) {
    return "it is longer than 255 bytes, the longest folder name";
  }
  if (!IsValidUTF8(View(userId))) return "it is not valid UTF-8";
  const std::string_view text = View(userId);
  if (text == "." || text == "..") return "it names the current or parent folder";
  for (std::size_t i = 0; i < userId.size(); ++i) {
    const unsigned char c = userId[i];
    if (c == '/' || c == '\\') return "it contains a path separator";
    if (c == 0) return "it contains a NUL byte";
    // C0 controls and DEL are one byte; the C1 controls U+0080 to U+009F are
    // 0xC2 followed by 0x80 to 0x9F (the text is valid UTF-8 here).
    const bool c1 = c == 0xC2 && i + 1 < userId.size() && userId[i + 1] <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) return "it contains a control character";
    if (std::string_view("<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos) {
      return "it contains a character reserved in file names (< > : \" | ? *)";
    }
  }
  if (text.back() == '.' || text.back() == ' ') return "it ends with a dot or a blank";
  if (IsReservedDeviceName(userId)) return "it is a reserved device name";
  return nullptr;
}

// `path` as the place it names now. A relative documents folder would
// otherwise be looked up again against the working folder of each save, and
// a host that changes its working folder would save somewhere else.
UTF8String Absolute(const UTF8String& path) {
#ifdef _WIN32
  const UTF16String wide = kelcore::string::UTF8to16(path);
  const std::filesystem::path native(std::wstring(wide.data(), wide.size()));
#else
  const std::filesystem::path native(std::string(View(path)));
#endif
  if (native.is_absolute()) return path;
#ifdef _WIN32
  const std::wstring absolute = std::filesystem::absolute(native).wstring();
  return kelcore::string::UTF16to8(UTF16String(absolute.data(), absolute.size()));
#else
  return kelcore::string::FromStd(std::filesystem::absolute(native).string());
#endif
}

}  // namespace

void CheckUserIdentifier(const UTF8String& userId) {
  if (userId.empty()) return;
  if (const char* problem = Problem(userId)) {
    throw InvalidUserIdentifierError("user identifier \"" + PrintableForMessage(View(userId)) +
                                     "\" cannot be used as a folder name: " + problem);
  }
}

void CheckUserIdentifier(const ImmutableString& userId) {
  const IdentifierText text = TextOfIdentifier(userId);
  if (!text.exact) {
    throw InvalidUserIdentifierError(
        "user identifier \"" + PrintableForMessage(View(text.text)) +
        "\" cannot be used as a folder name: it is not valid UTF-8 (each ill-formed sequence "
        "shown as U+FFFD)");
  }
  CheckUserIdentifier(text.text);
}

kelcore::filesupport::File UserStateFile(const kelcore::filesupport::Dir& documents,
                                         const UTF16String& userId) {
  using kelcore::filesupport::Dir;
  return kelcore::filesupport::File(Dir(Dir(documents, kUsersFolderName), userId), kStateFileName);
}

UTF8String GetUserStateFilePath(const UTF16String& userId) {
  if (userId.empty()) return UTF8String();
  const kelcore::filesupport::File file =
      UserStateFile(kelcore::filesupport::Dir::UserDocsDir(), userId);
  UTF8String path = Absolute(kelcore::string::UTF16to8(file.FullPath()));
  const std::string native = NativePath(path);
  platform::Env& env = platform::CurrentEnv();
  platform::CreateFolders(env, platform::FolderOf(native));
  switch (env.Stat(native)) {
    case platform::EntryKind::kMissing:
      try {
        env.CreateExclusive(native, std::string())->Close();
        env.SyncFolder(platform::FolderOf(native));
      } catch (const FileError&) {
        // Another process may have created it meanwhile; anything else fails.
        if (env.Stat(native) != platform::EntryKind::kFile) throw;
      }
      break;
    case platform::EntryKind::kLink:
      throw FileError("the state file '" + native +
                      "' is a symbolic link; a state file is only ever a regular file, and "
                      "nothing is created or read through a link");
    default:
      break;  // a regular file is used; anything else fails the load, saying what it is
  }
  return path;
}

}  // namespace kelabexperiment
