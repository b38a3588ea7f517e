#pragma once

#include <cerrno>
#include <string>
#include <vector>

#include "kelcore/config/windows_api.h"
#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include "kelcore/string/conversions.h"

namespace testsupport {

// A child process started without a shell, running alongside the caller
// until Wait. Standard output and error are discarded. Arguments are UTF-8.
class SpawnedProcess {
 public:
  explicit SpawnedProcess(const std::vector<std::string>& argv) {
#ifdef _WIN32
    std::wstring line;
    for (const std::string& arg : argv) {
      if (!line.empty()) line += L' ';
      line += Quoted(arg);
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE discard =
        ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = discard;
    startup.hStdError = discard;
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                         nullptr, &startup, &info)) {
      ::CloseHandle(info.hThread);
      process_ = info.hProcess;
    }
    if (discard != INVALID_HANDLE_VALUE) ::CloseHandle(discard);
#else
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
#endif
  }
  ~SpawnedProcess() { Wait(); }
  SpawnedProcess(const SpawnedProcess&) = delete;
  SpawnedProcess& operator=(const SpawnedProcess&) = delete;

  // The exit status; -1 when the process did not start or did not exit
  // normally. Waits once; later calls repeat the answer.
  int Wait() {
#ifdef _WIN32
    if (process_ != nullptr) {
      ::WaitForSingleObject(process_, INFINITE);
      DWORD code = 0;
      status_ = ::GetExitCodeProcess(process_, &code) ? static_cast<int>(code) : -1;
      ::CloseHandle(process_);
      process_ = nullptr;
    }
#else
    if (pid_ > 0) {
      int raw = 0;
      while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
      }
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      pid_ = -1;
    }
#endif
    return status_;
  }

 private:
#ifdef _WIN32
  // Quoting as the C runtime splits a command line.
  static std::wstring Quoted(const std::string& arg) {
    const kelcore::UTF16String wide = kelcore::string::UTF8to16(kelcore::string::FromStd(arg));
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : wide) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
      backslashes = 0;
      out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
  }
  HANDLE process_ = nullptr;
#else
  pid_t pid_ = -1;
#endif
  int status_ = -1;
};

}  // namespace testsupport
