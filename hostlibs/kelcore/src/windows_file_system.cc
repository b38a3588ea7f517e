#ifdef _WIN32

#include "kelcore/config/windows_api.h"

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "file_system.h"
#include "kelcore/string/conversions.h"
#include "platform_environment.h"

namespace kelcore::filesupport {
namespace {

std::string ForMessage(const UTF16String& text) { return string::ToStd(string::UTF16to8(text)); }

bool IsUTF16(const UTF16String& text) {
  string::UnicodeErrorCode error = string::UnicodeErrorCode::kNone;
  string::UTF16to8(text, &error);
  return error == string::UnicodeErrorCode::kNone;
}

// UTF16String holds UTF-16 code units in a 16-bit wchar_t here, as the wide
// API takes them. Windows would accept an unpaired surrogate too, but such a
// name cannot be written anywhere else unchanged, so it is refused. Paths go
// to Windows as they are, within its usual length limit.
const UTF16String& Native(const UTF16String& path) {
  if (!IsUTF16(path)) throw FileError("path '" + ForMessage(path) + "' is not valid UTF-16");
  return path;
}

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

[[noreturn]] void FailNotRegular(const UTF16String& path) {
  throw FileError("cannot open '" + ForMessage(path) + "': not a regular file");
}

// Other openers may read, and may rename or delete the file meanwhile, as on
// POSIX systems (a state file is replaced while a reader still holds it).
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// An ordinary file on a disk: not a folder, a console, a device or a pipe.
bool IsRegularFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  return ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Opens a regular file, or throws FileError saying why not. Opening a pipe
// or a device returns at once; the handle's type is checked before any read
// or write could wait on it.
HANDLE OpenRegular(const UTF16String& path, DWORD access, DWORD disposition) {
  const UTF16String native = Native(path);
  const HANDLE file = ::CreateFileW(native.c_str(), access, kShareAll, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // Windows refuses to open a folder as a file with a bare "access denied".
    const DWORD attributes = ::GetFileAttributesW(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      FailNotRegular(path);
    }
    Fail("cannot open", path, error);
  }
  if (!IsRegularFile(file)) {
    ::CloseHandle(file);
    FailNotRegular(path);
  }
  return file;
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

  // Empties the file; the handle is at its start.
  void Truncate() {
    if (!::SetEndOfFile(file_)) Fail("cannot truncate", path_, ::GetLastError());
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

class WindowsFileSystem final : public FileSystem {
 public:
  PathKind Stat(const UTF16String& path) override {
    const DWORD attributes = ::GetFileAttributesW(Native(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kDirectory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::kOther;
    return PathKind::kFile;
  }

  void CreateDirectory(const UTF16String& path) override {
    if (::CreateDirectoryW(Native(path).c_str(), nullptr)) return;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && Stat(path) == PathKind::kDirectory) return;
    Fail("cannot create folder", path, error);
  }

  bool CreateFile(const UTF16String& path, bool exclusive) override {
    try {
      ::CloseHandle(OpenRegular(path, GENERIC_WRITE, exclusive ? CREATE_NEW : OPEN_ALWAYS));
      return true;
    } catch (const FileError&) {
      return false;
    }
  }

  bool DeleteFile(const UTF16String& path) override {
    return Stat(path) == PathKind::kFile && ::DeleteFileW(Native(path).c_str());
  }

  std::unique_ptr<ReadableFile> OpenForRead(const UTF16String& path) override {
    return std::make_unique<WindowsReadableFile>(OpenRegular(path, GENERIC_READ, OPEN_EXISTING),
                                                 path);
  }

  std::unique_ptr<WritableFile> OpenForWrite(const UTF16String& path) override {
    // Truncation waits until the file is known to be a regular one.
    auto file =
        std::make_unique<WindowsWritableFile>(OpenRegular(path, GENERIC_WRITE, OPEN_ALWAYS), path);
    file->Truncate();
    return file;
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
