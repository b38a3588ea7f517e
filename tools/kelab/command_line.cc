#include "command_line.h"

#include <stdexcept>

#include "kelcore/string/conversions.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <shellapi.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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

void PrepareConsole() {
  // A closed standard descriptor would go to the next file opened (a lock, a
  // state file's temporary), and output with it; /dev/null opened read-only
  // holds the place, and writes to it fail as writes to a closed one do.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int held = ::open("/dev/null", O_RDONLY);
      if (held != fd && held != -1) ::close(held);
    }
  }
}

#endif

}  // namespace kelab
