#pragma once

#include <cerrno>
#include <cstdio>
#include <filesystem>
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

// Where a child's standard output and error go: each to a file, created or
// truncated, or discarded when the path is empty. The same file for both
// keeps them in the order written.
struct ChildOutput {
  std::filesystem::path out;
  std::filesystem::path err;
};

// A child process started without a shell, running alongside the caller
// until Wait. argv[0] is the program's path; arguments are UTF-8 and reach
// the program as given.
class SpawnedProcess {
 public:
  SpawnedProcess(const std::vector<std::string>& argv, const ChildOutput& output) {
#ifdef _WIN32
    std::wstring line;
    for (const std::string& arg : argv) {
      if (!line.empty()) line += L' ';
      line += Quoted(arg);
    }
    const HANDLE out = Open(output.out);
    const HANDLE err = output.err == output.out ? out : Open(output.err);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    // Wine, when loaded, now and then fails a start with ERROR_INTERNAL_ERROR:
    // the child died before reaching its entry point, so none of its code
    // ran and starting it again changes nothing a test looks at.
    for (int attempt = 1; failure_.empty() && attempt <= kStartTries; ++attempt) {
      PROCESS_INFORMATION info{};
      if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                           nullptr, &startup, &info)) {
        ::CloseHandle(info.hThread);
        process_ = info.hProcess;
        break;
      }
      const DWORD error = ::GetLastError();
      if (error != ERROR_INTERNAL_ERROR || attempt == kStartTries) {
        failure_ = "did not start: error " + std::to_string(error);
      }
    }
    if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
    if (err != out && err != INVALID_HANDLE_VALUE) ::CloseHandle(err);
#else
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    Redirect(actions, 1, output.out);
    if (!output.err.empty() && output.err == output.out) {
      posix_spawn_file_actions_adddup2(&actions, 1, 2);
    } else {
      Redirect(actions, 2, output.err);
    }
    const int error = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    if (error != 0) {
      pid_ = -1;
      failure_ = "did not start: error " + std::to_string(error);
    }
    posix_spawn_file_actions_destroy(&actions);
#endif
  }
  ~SpawnedProcess() { Wait(); }
  SpawnedProcess(const SpawnedProcess&) = delete;
  SpawnedProcess& operator=(const SpawnedProcess&) = delete;

  // The exit status; -1 when the process did not start or did not exit
  // normally, and Failure says why. Waits once; later calls repeat the answer.
  int Wait() {
#ifdef _WIN32
    if (process_ != nullptr) {
      DWORD code = 0;
      if (::WaitForSingleObject(process_, INFINITE) != WAIT_OBJECT_0 ||
          !::GetExitCodeProcess(process_, &code)) {
        failure_ = "wait failed: error " + std::to_string(::GetLastError());
      } else {
        status_ = static_cast<int>(code);
        if (code > 255) failure_ = "ended with code " + Hex(code);
      }
      ::CloseHandle(process_);
      process_ = nullptr;
    }
#else
    if (pid_ > 0) {
      int raw = 0;
      while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
      }
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      if (WIFSIGNALED(raw)) failure_ = "killed by signal " + std::to_string(WTERMSIG(raw));
      pid_ = -1;
    }
#endif
    return status_;
  }

  // Why the process did not start or end normally; empty when it did.
  const std::string& Failure() {
    Wait();
    return failure_;
  }

 private:
#ifdef _WIN32
  static constexpr int kStartTries = 5;

  // Opens where an output goes, inheritable; on failure notes why in failure_.
  HANDLE Open(const std::filesystem::path& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    // Full sharing: under Wine the last child's handle to the same file can
    // still be open when the next run starts, and must not keep it from
    // truncating the file.
    const HANDLE file = path.empty()
                            ? ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit,
                                            OPEN_EXISTING, 0, nullptr)
                            : ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            &inherit, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      failure_ = "cannot open '" + path.u8string() + "': error " + std::to_string(::GetLastError());
    }
    return file;
  }

  static std::string Hex(DWORD code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
  }

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
  static void Redirect(posix_spawn_file_actions_t& actions, int fd,
                       const std::filesystem::path& path) {
    posix_spawn_file_actions_addopen(&actions, fd, path.empty() ? "/dev/null" : path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  pid_t pid_ = -1;
#endif
  int status_ = -1;
  std::string failure_;
};

}  // namespace testsupport
