#ifdef _WIN32

#include "kelcore/config/windows_api.h"

#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <utility>

#include "base/utf8.h"
#include "platform/env.h"
#include "platform/windows_path.h"
#include "platform/windows_replace.h"

namespace kelabexperiment::platform {
namespace {

// A path for a message: as it is when it is printable UTF-8, so that a
// Windows path keeps its backslashes; else every byte outside printable
// ASCII escaped, as the path may be the very bytes that could not be used.
std::string ForMessage(const std::string& path) {
  const bool printable = std::none_of(path.begin(), path.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  if (printable && IsValidUTF8(path)) return path;
  return PrintableForMessage(path);
}

// UTF-16 from Windows (its messages, names in a folder) to UTF-8. Returns
// false, with `out` untouched, for text that is not UTF-16.
bool ToUTF8(const wchar_t* text, std::size_t length, std::string& out) {
  if (length == 0) {
    out.clear();
    return true;
  }
  if (length > INT_MAX) return false;
  const int size = static_cast<int>(length);
  const int bytes = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, size, nullptr, 0,
                                          nullptr, nullptr);
  if (bytes <= 0) return false;
  std::string converted(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, size, converted.data(), bytes, nullptr,
                        nullptr);
  out = std::move(converted);
  return true;
}

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (length == 0 || !ToUTF8(text, length, message)) message.clear();
  ::LocalFree(text);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "system error";
  return message + " (error " + std::to_string(error) + ")";
}

[[noreturn]] void Fail(const char* what, const std::string& path, DWORD error) {
  throw FileError(std::string(what) + " '" + ForMessage(path) + "': " + SystemMessage(error));
}

[[noreturn]] void FailNotRegular(const char* what, const std::string& path) {
  throw FileError(std::string(what) + " '" + ForMessage(path) + "': not a regular file");
}

// Windows refuses to open a folder as a file with a bare "access denied".
[[noreturn]] void FailOpen(const char* what, const std::string& path, const std::wstring& native,
                           DWORD error) {
  const DWORD attributes = ::GetFileAttributesW(native.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    FailNotRegular(what, path);
  }
  Fail(what, path, error);
}

// The path as the wide API takes it: exactly the UTF-8 name converted, or a
// FileError. A NUL would end the wide string early and name another file.
// Absolute paths go in the extended-length form, free of MAX_PATH.
std::wstring Native(const std::string& path) {
  if (path.empty()) return std::wstring();
  if (path.find('\0') != std::string::npos) {
    throw FileError("path '" + ForMessage(path) + "' contains a NUL byte");
  }
  if (path.size() > INT_MAX) throw FileError("path '" + ForMessage(path) + "' is too long");
  const int size = static_cast<int>(path.size());
  const int units =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
  if (units <= 0) throw FileError("path '" + ForMessage(path) + "' is not valid UTF-8");
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, wide.data(), units);
  return ExtendedLengthPath(wide);
}

// Other openers may read, and may rename or delete the file meanwhile, as on
// POSIX systems (a state file is replaced while a reader still holds it).
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Closes on every way out of a scope, unless released.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  void reset(HANDLE handle) {
    if (valid()) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_;
};

// What is at the path itself, a link not followed: access 0 reads only the
// attributes, so no sharing mode of another holder stands in the way.
HANDLE OpenEntry(const std::wstring& native, DWORD access, DWORD share) {
  return ::CreateFileW(native.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether the entry open as `file` is a symbolic link or a junction; false
// when Windows cannot say. Other reparse points, such as the placeholders of
// a cloud-synchronised documents folder, are files or folders.
bool KnownLink(HANDLE file, bool* link) {
  FILE_ATTRIBUTE_TAG_INFO info;
  if (!::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info)) {
    return false;
  }
  *link = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
          IsReparseTagNameSurrogate(info.ReparseTag);
  return true;
}

// For refusing: what cannot be told from a link counts as one.
bool IsLink(HANDLE file) {
  bool link = true;
  return !KnownLink(file, &link) || link;
}

// An ordinary file on a disk: not a folder, a console, a device or a pipe.
bool IsRegularFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  return ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The volume and file index: equal for two handles to one file.
bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x;
  BY_HANDLE_FILE_INFORMATION y;
  return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

// ReadFile and WriteFile move at most a DWORD of bytes per call.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

class WindowsReadableFile final : public ReadableFile {
 public:
  WindowsReadableFile(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}

  std::uint64_t Size() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file_.get(), &size)) Fail("cannot stat", path_, ::GetLastError());
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  void Read(void* buffer, std::size_t length) override {
    auto* out = static_cast<char*>(buffer);
    while (length > 0) {
      const auto chunk = static_cast<DWORD>(std::min(length, kMaxChunk));
      DWORD got = 0;
      if (!::ReadFile(file_.get(), out, chunk, &got, nullptr)) {
        Fail("cannot read", path_, ::GetLastError());
      }
      if (got == 0) throw FileError("cannot read '" + ForMessage(path_) + "': file ended early");
      out += got;
      length -= got;
    }
  }

 private:
  Handle file_;
  std::string path_;
};

class WindowsWritableFile final : public WritableFile {
 public:
  WindowsWritableFile(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}

  void Append(const void* data, std::size_t length) override {
    if (!file_.valid()) throw FileError("cannot write '" + ForMessage(path_) + "': closed");
    const auto* in = static_cast<const char*>(data);
    while (length > 0) {
      const auto chunk = static_cast<DWORD>(std::min(length, kMaxChunk));
      DWORD put = 0;
      if (!::WriteFile(file_.get(), in, chunk, &put, nullptr)) {
        Fail("cannot write", path_, ::GetLastError());
      }
      in += put;
      length -= put;
    }
  }

  void Sync() override {
    if (!file_.valid()) throw FileError("cannot flush '" + ForMessage(path_) + "': closed");
    if (!::FlushFileBuffers(file_.get())) Fail("cannot flush", path_, ::GetLastError());
  }

  void Close() override {
    if (!file_.valid()) return;
    if (!::CloseHandle(file_.release())) Fail("cannot close", path_, ::GetLastError());
  }

 private:
  Handle file_;
  std::string path_;
};

class WindowsFileLock final : public FileLock {
 public:
  WindowsFileLock(HANDLE file, std::wstring native) : file_(file), native_(std::move(native)) {}
  ~WindowsFileLock() override {
    // Closing alone frees the lock only when Windows gets round to it.
    OVERLAPPED whole{};
    ::UnlockFileEx(file_.get(), 0, MAXDWORD, MAXDWORD, &whole);
  }

  // Without delete sharing nobody can take the name from the open file, but
  // a file system that ignores sharing could.
  bool StillNamed() override {
    const Handle named(OpenEntry(native_, 0, kShareAll));
    return named.valid() && SameFile(named.get(), file_.get());
  }

 private:
  Handle file_;
  std::wstring native_;
};

// A lock file replaced this often in a row, while locking, is given up on.
constexpr int kLockTries = 10;

// The attributes a new file takes over from the one it replaces: what the
// user chose to see, not what decides access. Read-only stays behind: Windows
// refuses to replace or delete a read-only file, so a read-only state file
// fails the save anyway, and a read-only new file could not be cleaned up.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

class WindowsEnv final : public Env {
 public:
  EntryKind Stat(const std::string& path) override {
    const std::wstring native = Native(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(native.c_str(), GetFileExInfoStandard, &data)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return EntryKind::kMissing;
      }
      // A pipe may have no attributes to give, yet opens, or is busy: only
      // a pipe is.
      const Handle entry(OpenEntry(native, 0, kShareAll));
      if (entry.valid() ? ::GetFileType(entry.get()) != FILE_TYPE_DISK
                        : ::GetLastError() == ERROR_PIPE_BUSY) {
        return EntryKind::kOther;
      }
      Fail("cannot stat", path, error);
    }
    const DWORD attributes = data.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryKind::kOther;
    // A reparse point may be a link, and a name may be a pipe or a device
    // ("NUL"), which the attributes do not tell: only the handle says.
    const bool reparse = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !reparse) return EntryKind::kDirectory;
    const Handle entry(OpenEntry(native, 0, kShareAll));
    if (!entry.valid()) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return EntryKind::kMissing;  // gone meanwhile
      }
      Fail("cannot stat", path, error);
    }
    bool link = false;
    if (reparse && !KnownLink(entry.get(), &link)) Fail("cannot stat", path, ::GetLastError());
    if (link) return EntryKind::kLink;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::kDirectory;
    return ::GetFileType(entry.get()) == FILE_TYPE_DISK ? EntryKind::kFile : EntryKind::kOther;
  }

  std::unique_ptr<ReadableFile> OpenForRead(const std::string& path) override {
    const std::wstring native = Native(path);
    // The link itself is opened, to be refused; a pipe or a device opens at
    // once and is refused by its type before anything could wait on it.
    Handle file(::CreateFileW(native.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) FailOpen("cannot open", path, native, ::GetLastError());
    if (!IsRegularFile(file.get()) || IsLink(file.get())) FailNotRegular("cannot open", path);
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (::GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag) &&
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      // A cloud placeholder: reading the reparse point itself would not
      // fetch the content. It is opened again, as itself, and must still be
      // the file just checked.
      Handle content(::CreateFileW(native.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!content.valid()) Fail("cannot open", path, ::GetLastError());
      if (!SameFile(file.get(), content.get())) {
        throw FileError("cannot open '" + ForMessage(path) + "': replaced while opening");
      }
      file.reset(content.release());
    }
    return std::make_unique<WindowsReadableFile>(file.release(), path);
  }

  // Windows has no permission bits, owner or group to copy: the new file's
  // access rules are those its folder passes on, as the file it replaces had.
  std::unique_ptr<WritableFile> CreateExclusive(const std::string& path,
                                                const std::string& attributesOf) override {
    const std::wstring native = Native(path);
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if (!attributesOf.empty()) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      // Anything but a readable regular file leaves the defaults.
      if (::GetFileAttributesExW(Native(attributesOf).c_str(), GetFileExInfoStandard, &data) &&
          (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                    FILE_ATTRIBUTE_DEVICE)) == 0 &&
          (data.dwFileAttributes & kCopiedAttributes) != 0) {
        attributes = data.dwFileAttributes & kCopiedAttributes;
      }
    }
    // CREATE_NEW fails on anything at the name, and FILE_FLAG_OPEN_REPARSE_POINT
    // keeps a link there, dangling or not, from being followed.
    Handle file(::CreateFileW(native.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                              attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) Fail("cannot create", path, ::GetLastError());
    // A device ("NUL", "COM1") opens whatever the disposition says.
    if (!IsRegularFile(file.get())) FailNotRegular("cannot create", path);
    return std::make_unique<WindowsWritableFile>(file.release(), path);
  }

  void Replace(const std::string& from, const std::string& to) override {
    const std::wstring source = Native(from);
    const std::wstring target = Native(to);
    const DWORD error = MoveReplacingRetrying(source.c_str(), target.c_str(),
                                              [] { ::Sleep(kReplacePauseMilliseconds); });
    if (error != ERROR_SUCCESS) {
      throw FileError("cannot replace '" + ForMessage(to) + "' by '" + ForMessage(from) +
                      "': " + SystemMessage(error));
    }
  }

  // MOVEFILE_WRITE_THROUGH returns only once the rename is on disk.
  void SyncFolder(const std::string& /*path*/) override {}

  bool Remove(const std::string& path) noexcept override {
    try {
      // Deleted through a handle to the entry itself, so that what is
      // deleted is what was checked: a file or a link, never a folder.
      const Handle entry(OpenEntry(Native(path), DELETE | FILE_READ_ATTRIBUTES, kShareAll));
      if (!entry.valid()) return false;
      BY_HANDLE_FILE_INFORMATION info;
      bool link = false;
      if (::GetFileType(entry.get()) != FILE_TYPE_DISK ||
          !::GetFileInformationByHandle(entry.get(), &info) ||
          ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           !(KnownLink(entry.get(), &link) && link))) {
        return false;
      }
      // Its one member is named DeleteFile, which <windows.h> renamed.
      FILE_DISPOSITION_INFO dispose{TRUE};
      return ::SetFileInformationByHandle(entry.get(), FileDispositionInfo, &dispose,
                                          sizeof dispose) != 0;
    } catch (...) {
      return false;
    }
  }

  std::unique_ptr<FileLock> TryLock(const std::string& path) override {
    const std::wstring native = Native(path);
    for (int attempt = 1;; ++attempt) {
      // No delete sharing: the lock file cannot be deleted or renamed, nor
      // replaced, while held, which would let the next holder lock a new
      // file of the same name.
      Handle file(::CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (!file.valid()) FailOpen("cannot open the lock file", path, native, ::GetLastError());
      if (!IsRegularFile(file.get()) || IsLink(file.get())) FailNotRegular("cannot lock", path);
      // Locks belong to the handle, so two handles in one process exclude each
      // other as two processes do.
      OVERLAPPED whole{};
      if (!::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                        MAXDWORD, MAXDWORD, &whole)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_LOCK_VIOLATION) return nullptr;
        Fail("cannot lock", path, error);
      }
      auto lock = std::make_unique<WindowsFileLock>(file.release(), native);
      if (lock->StillNamed()) return lock;
      if (attempt == kLockTries) {
        throw FileError("cannot lock '" + ForMessage(path) +
                        "': the file at the path keeps changing");
      }
    }
  }

  std::vector<std::string> List(const std::string& path) override {
    std::wstring pattern = Native(path);
    if (pattern.empty()) Fail("cannot list folder", path, ERROR_PATH_NOT_FOUND);
    if (pattern.back() != L'\\' && pattern.back() != L'/') pattern.push_back(L'\\');
    pattern.push_back(L'*');
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                             FindExSearchNameMatch, nullptr, 0);
    std::vector<std::string> names;
    if (search == INVALID_HANDLE_VALUE) {
      // A drive's root has no "." or "..": when empty, it has nothing at all.
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) return names;
      Fail("cannot list folder", path, error);
    }
    do {
      const std::wstring name = entry.cFileName;
      std::string utf8;
      if (name != L"." && name != L".." && ToUTF8(name.data(), name.size(), utf8)) {
        names.push_back(std::move(utf8));
      }
    } while (::FindNextFileW(search, &entry));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES) Fail("cannot list folder", path, error);
    return names;
  }

  // The folder's access rules are those its parent passes on: on Windows,
  // what keeps others from writing there.
  void CreateFolder(const std::string& path) override {
    const std::wstring native = Native(path);
    if (::CreateDirectoryW(native.c_str(), nullptr)) return;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
      // Following a link, to accept one to a folder.
      const Handle existing(::CreateFileW(native.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      BY_HANDLE_FILE_INFORMATION info;
      if (existing.valid() && ::GetFileInformationByHandle(existing.get(), &info) &&
          (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return;
      }
    }
    Fail("cannot create folder", path, error);
  }

  void PinModule(const void* address) override {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
            static_cast<LPCWSTR>(address), &module)) {
      throw FileError("cannot pin the module: " + SystemMessage(::GetLastError()));
    }
  }

  std::uint64_t Random64() override {
    std::uint64_t value = 0;
    const NTSTATUS status = ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value),
                                              sizeof value, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (!BCRYPT_SUCCESS(status)) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
      throw FileError(std::string("cannot read the system's random source: status ") + code);
    }
    return value;
  }

  std::uint64_t NowMicros() override {
    LARGE_INTEGER count;
    ::QueryPerformanceCounter(&count);
    const auto ticks = static_cast<std::uint64_t>(count.QuadPart);
    const std::uint64_t perSecond = Frequency();
    // In two parts, so that the product does not overflow.
    return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
  }

  void SleepForMicros(std::uint64_t micros) override {
    // Rounded up, never shorter; INFINITE (all ones) is never passed.
    std::uint64_t millis = micros / 1000 + (micros % 1000 != 0 ? 1 : 0);
    while (millis > 0) {
      const std::uint64_t step = std::min<std::uint64_t>(millis, INFINITE - 1);
      ::Sleep(static_cast<DWORD>(step));
      millis -= step;
    }
  }

 private:
  // Fixed at boot; read once.
  static std::uint64_t Frequency() {
    static const std::uint64_t frequency = [] {
      LARGE_INTEGER value;
      ::QueryPerformanceFrequency(&value);
      return static_cast<std::uint64_t>(value.QuadPart);
    }();
    return frequency;
  }
};

}  // namespace

Env& DefaultEnv() {
  static WindowsEnv* env = new WindowsEnv;  // lives as long as the process
  return *env;
}

}  // namespace kelabexperiment::platform

#endif  // _WIN32
