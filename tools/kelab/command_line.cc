#include "command_line.h"

#include <stdexcept>

#include "kelcore/string/conversions.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <shellapi.h>
#endif

namespace kelab {

#ifdef _WIN32

std::vector<std::string> CommandLineArguments(int /*argc*/, char** /*argv*/) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) throw std::runtime_error("cannot read the command line");
  std::vector<std::string> args;
  std::string bad;
  for (int i = 1; i < count; ++i) {
    kelcore::string::UnicodeErrorCode error = kelcore::string::UnicodeErrorCode::kNone;
    args.push_back(
        kelcore::string::ToStd(kelcore::string::UTF16to8(kelcore::UTF16String(wide[i]), &error)));
    if (error != kelcore::string::UnicodeErrorCode::kNone && bad.empty()) bad = args.back();
  }
  ::LocalFree(wide);
  if (!bad.empty()) {
    throw std::invalid_argument("argument '" + bad + "' is not valid UTF-16");
  }
  return args;
}

void PrepareConsole() { ::SetConsoleOutputCP(CP_UTF8); }

#else

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void PrepareConsole() {}

#endif

}  // namespace kelab
