#ifndef _WIN32

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "file_system.h"
#include "kelcore/string/conversions.h"
#include "platform_environment.h"

namespace kelcore::filesupport {
namespace {

// New files and folders: nothing writable by group or others, whatever the
// umask allows.
constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kNewFolderMode = 0755;

std::string Printable(const std::string& path) { return string::PrintableForMessage(path); }

// UTF-16 paths reach the kernel as UTF-8 bytes. A path that does not convert
// exactly would name another file, so it is refused.
std::string Native(const UTF16String& path) {
  string::UnicodeErrorCode error = string::UnicodeErrorCode::kNone;
  std::string native = string::ToStd(string::UTF16to8(path, &error));
  if (error != string::UnicodeErrorCode::kNone) {
    throw FileError("path '" + Printable(native) + "' is not valid UTF-16");
  }
  return native;
}

UTF16String FromNative(const std::string& path) {
  string::UnicodeErrorCode error = string::UnicodeErrorCode::kNone;
  UTF16String wide = string::UTF8to16(string::FromStd(path), &error);
  if (error != string::UnicodeErrorCode::kNone) {
    throw FileError("path '" + Printable(path) + "' is not valid UTF-8");
  }
  return wide;
}

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
  throw FileError(std::string(what) + " '" + Printable(path) + "': " + std::strerror(error));
}

// Opens without blocking on a FIFO or device, then insists on a regular file.
int OpenRegular(const std::string& native, int flags, mode_t mode = 0) {
  const int fd = ::open(native.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) Fail("cannot open", native, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw FileError("cannot open '" + Printable(native) + "': not a regular file");
  }
  // Regular files ignore O_NONBLOCK; clearing it keeps later calls ordinary.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

class PosixReadableFile final : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixReadableFile() override { ::close(fd_); }

  std::uint64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) Fail("cannot stat", path_, errno);
    return static_cast<std::uint64_t>(st.st_size);
  }

  void Read(void* buffer, std::size_t length) override {
    auto* out = static_cast<char*>(buffer);
    while (length > 0) {
      const ssize_t n = ::read(fd_, out, length);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("cannot read", path_, errno);
      if (n == 0) throw FileError("cannot read '" + path_ + "': file ended early");
      out += n;
      length -= static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
  std::string path_;
};

class PosixWritableFile final : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  void Append(const void* data, std::size_t length) override {
    const auto* in = static_cast<const char*>(data);
    while (length > 0) {
      const ssize_t n = ::write(fd_, in, length);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("cannot write", path_, errno);
      in += n;
      length -= static_cast<std::size_t>(n);
    }
  }

  void Close() override {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) Fail("cannot close", path_, errno);
  }

 private:
  int fd_;
  std::string path_;
};

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

// The XDG_DOCUMENTS_DIR line of user-dirs.dirs, with $HOME expanded; empty
// when absent. Format: XDG_DOCUMENTS_DIR="$HOME/Documents".
std::string XdgDocumentsFromConfig(const std::string& home) {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config =
      (configHome != nullptr && *configHome == '/') ? configHome : home + "/.config";
  std::ifstream in(config + "/user-dirs.dirs");
  const std::string key = "XDG_DOCUMENTS_DIR=\"";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, key.size(), key) != 0 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
    if (!value.empty() && value[0] == '/') return value;
  }
  return {};
}

class PosixFileSystem final : public FileSystem {
 public:
  PathKind Stat(const UTF16String& path) override {
    struct stat st;
    if (::stat(Native(path).c_str(), &st) != 0) return PathKind::kMissing;
    if (S_ISREG(st.st_mode)) return PathKind::kFile;
    if (S_ISDIR(st.st_mode)) return PathKind::kDirectory;
    return PathKind::kOther;
  }

  void CreateDirectory(const UTF16String& path) override {
    const std::string native = Native(path);
    if (::mkdir(native.c_str(), kNewFolderMode) == 0) return;
    const int error = errno;
    if (error == EEXIST && Stat(path) == PathKind::kDirectory) return;
    Fail("cannot create folder", native, error);
  }

  bool CreateFile(const UTF16String& path, bool exclusive) override {
    std::string native;
    try {
      native = Native(path);
    } catch (const FileError&) {
      return false;
    }
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (exclusive ? O_EXCL : 0);
    const int fd = ::open(native.c_str(), flags, kNewFileMode);
    if (fd < 0) return false;
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
  }

  bool DeleteFile(const UTF16String& path) override {
    return Stat(path) == PathKind::kFile && ::unlink(Native(path).c_str()) == 0;
  }

  std::unique_ptr<ReadableFile> OpenForRead(const UTF16String& path) override {
    std::string native = Native(path);
    const int fd = OpenRegular(native, O_RDONLY);
    return std::make_unique<PosixReadableFile>(fd, std::move(native));
  }

  std::unique_ptr<WritableFile> OpenForWrite(const UTF16String& path) override {
    std::string native = Native(path);
    // Truncation waits until the file is known to be a regular one.
    const int fd = OpenRegular(native, O_WRONLY | O_CREAT, kNewFileMode);
    if (::ftruncate(fd, 0) != 0) {
      const int error = errno;
      ::close(fd);
      Fail("cannot truncate", native, error);
    }
    return std::make_unique<PosixWritableFile>(fd, std::move(native));
  }

  UTF16String UserDocumentsPath() override {
    if (const char* xdg = std::getenv("XDG_DOCUMENTS_DIR"); xdg != nullptr && *xdg == '/') {
      return FromNative(xdg);
    }
    const std::string home = HomeFolder();
    const std::string configured = XdgDocumentsFromConfig(home);
    return FromNative(configured.empty() ? home + "/Documents" : configured);
  }
};

}  // namespace

UTF16String EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? UTF16String() : FromNative(value);
}

FileSystem& PlatformFileSystem() {
  static PosixFileSystem* fs = new PosixFileSystem;  // lives as long as the process
  return *fs;
}

}  // namespace kelcore::filesupport

#endif  // _WIN32
