#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

// <windows.h> maps these names to its own functions; here they name the
// FileSystem methods, and the wide functions are called by their full names.
#undef CreateDirectory
#undef CreateFile
#undef DeleteFile

#include <algorithm>
#include <cstring>
#include <string>

#include "kelcore/filesupport/file_system.h"
#include "kelcore/string/conversions.h"
#include "platform_environment.h"

namespace kelcore::filesupport {
namespace {

// UTF16String holds UTF-16 code units in a 16-bit wchar_t here: the wide
// API takes the path as it is.
const wchar_t* Native(const UTF16String& path) { return path.c_str(); }

std::string ForMessage(const UTF16String& text) { return string::ToStd(string::UTF16to8(text)); }

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  UTF16String message = length == 0 ? UTF16String() : UTF16String(text, length);
  ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n')) {
    message.pop_back();
  }
  return ForMessage(message) + " (error " + std::to_string(error) + ")";
}

[[noreturn]] void Fail(const char* what, const UTF16String& path, DWORD error) {
  throw FileError(std::string(what) + " '" + ForMessage(path) + "': " + SystemMessage(error));
}

// ReadFile and WriteFile move at most a DWORD of bytes per call.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

class WindowsReadableFile final : public ReadableFile {
 public:
  WindowsReadableFile(HANDLE file, UTF16String path) : file_(file), path_(std::move(path)) {}
  ~WindowsReadableFile() override { ::CloseHandle(file_); }

  std::uint64_t Size() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file_, &size)) Fail("cannot stat", path_, ::GetLastError());
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  void Read(void* buffer, std::size_t length) override {
    auto* out = static_cast<char*>(buffer);
    while (length > 0) {
      const auto chunk = static_cast<DWORD>(std::min(length, kMaxChunk));
      DWORD got = 0;
      if (!::ReadFile(file_, out, chunk, &got, nullptr))
        Fail("cannot read", path_, ::GetLastError());
      if (got == 0) throw FileError("cannot read '" + ForMessage(path_) + "': file ended early");
      out += got;
      length -= got;
    }
  }

 private:
  HANDLE file_;
  UTF16String path_;
};

class WindowsWritableFile final : public WritableFile {
 public:
  WindowsWritableFile(HANDLE file, UTF16String path) : file_(file), path_(std::move(path)) {}
  ~WindowsWritableFile() override {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
  }

  void Append(const void* data, std::size_t length) override {
    const auto* in = static_cast<const char*>(data);
    while (length > 0) {
      const auto chunk = static_cast<DWORD>(std::min(length, kMaxChunk));
      DWORD put = 0;
      if (!::WriteFile(file_, in, chunk, &put, nullptr)) {
        Fail("cannot write", path_, ::GetLastError());
      }
      in += put;
      length -= put;
    }
  }

  void Sync() override {
    if (!::FlushFileBuffers(file_)) Fail("cannot flush", path_, ::GetLastError());
  }

  void Close() override {
    const HANDLE file = file_;
    file_ = INVALID_HANDLE_VALUE;
    if (file != INVALID_HANDLE_VALUE && !::CloseHandle(file)) {
      Fail("cannot close", path_, ::GetLastError());
    }
  }

 private:
  HANDLE file_;
  UTF16String path_;
};

// Other openers may read, and may rename or delete the file meanwhile, as on
// POSIX systems (a state file is replaced while a reader still holds it).
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class WindowsFileSystem final : public FileSystem {
 public:
  PathKind Stat(const UTF16String& path) override {
    const DWORD attributes = ::GetFileAttributesW(Native(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kDirectory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::kOther;
    return PathKind::kFile;
  }

  void CreateDirectory(const UTF16String& path) override {
    if (::CreateDirectoryW(Native(path), nullptr)) return;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && Stat(path) == PathKind::kDirectory) return;
    Fail("cannot create folder", path, error);
  }

  bool CreateFile(const UTF16String& path, bool exclusive) override {
    const HANDLE file =
        ::CreateFileW(Native(path), GENERIC_WRITE, kShareAll, nullptr,
                      exclusive ? CREATE_NEW : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return Stat(path) == PathKind::kFile;
  }

  bool DeleteFile(const UTF16String& path) override {
    return Stat(path) == PathKind::kFile && ::DeleteFileW(Native(path));
  }

  void RenameFile(const UTF16String& from, const UTF16String& to) override {
    if (!::MoveFileExW(Native(from), Native(to),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Fail("cannot rename", from, ::GetLastError());
    }
  }

  // MOVEFILE_WRITE_THROUGH returns only once the rename is on disk.
  void SyncDirectory(const UTF16String& /*path*/) override {}

  std::unique_ptr<ReadableFile> OpenForRead(const UTF16String& path) override {
    const HANDLE file = ::CreateFileW(Native(path), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot open", path, ::GetLastError());
    return std::make_unique<WindowsReadableFile>(file, path);
  }

  std::unique_ptr<WritableFile> OpenForWrite(const UTF16String& path) override {
    const HANDLE file = ::CreateFileW(Native(path), GENERIC_WRITE, kShareAll, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot open for writing", path, ::GetLastError());
    return std::make_unique<WindowsWritableFile>(file, path);
  }

  UTF16String UserDocumentsPath() override {
    wchar_t* folder = nullptr;
    const HRESULT result =
        ::SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_DEFAULT, nullptr, &folder);
    if (FAILED(result)) {
      ::CoTaskMemFree(folder);
      throw FileError("cannot find the documents folder: " +
                      SystemMessage(static_cast<DWORD>(result)));
    }
    UTF16String path(folder);
    ::CoTaskMemFree(folder);
    return path;
  }
};

}  // namespace

UTF16String EnvironmentText(const char* name) {
  const UTF16String wideName = string::AsciiToUTF16(name, std::strlen(name));
  const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) return UTF16String();
  UTF16String value(size, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
  if (length >= size) return UTF16String();  // it grew meanwhile
  value.resize(length);
  return value;
}

FileSystem& PlatformFileSystem() {
  static WindowsFileSystem* fs = new WindowsFileSystem;  // lives as long as the process
  return *fs;
}

}  // namespace kelcore::filesupport

#endif  // _WIN32
