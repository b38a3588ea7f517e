#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kelcore/config/kel_exception.h"
#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"

namespace kelcore::filesupport {

// Raised by file operations that fail; the message names the path and the
// operating system's reason.
class KELCORE_EXPORT FileError : public config::kel_exception {
 public:
  using config::kel_exception::kel_exception;
};

#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

enum class PathKind { kMissing, kFile, kDirectory, kOther };

class KELCORE_EXPORT ReadableFile {
 public:
  virtual ~ReadableFile();
  virtual std::uint64_t Size() = 0;
  // Reads exactly `length` bytes or throws FileError.
  virtual void Read(void* buffer, std::size_t length) = 0;
};

class KELCORE_EXPORT WritableFile {
 public:
  virtual ~WritableFile();                                        // closes without reporting errors
  virtual void Append(const void* data, std::size_t length) = 0;  // throws FileError
  virtual void Sync() = 0;                                        // to stable storage
  virtual void Close() = 0;                                       // throws FileError
};

// Held while a lock file is locked; destroying it releases the lock.
class KELCORE_EXPORT FileLockHandle {
 public:
  virtual ~FileLockHandle();
};

// The one seam between the host's file API and the operating system. Every
// file-system call of the host goes through the installed FileSystem, so a
// test can substitute a fake or a fault-injecting wrapper (ScopedFileSystem).
// Paths are UTF-16 code units; implementations own the translation to the
// platform's encoding, which must be exact: a path that is not valid UTF-16,
// or a platform path that is not valid in its encoding, is a FileError, never
// a different path. Implementations must be thread-safe.
class KELCORE_EXPORT FileSystem {
 public:
  virtual ~FileSystem();

  // What is at `path`, following links (a link to a regular file is kFile).
  virtual PathKind Stat(const UTF16String& path) = 0;
  // Creates the directory (one level), with no write permission for group or
  // others. Succeeds when it exists already; otherwise throws FileError.
  virtual void CreateDirectory(const UTF16String& path) = 0;
  // Creates an empty regular file when none exists (no write permission for
  // group or others); with `exclusive` an existing file is a failure. Returns
  // false (never throws) on failure; never blocks on a FIFO or device.
  virtual bool CreateFile(const UTF16String& path, bool exclusive) = 0;
  // Removes a regular file; false when it could not be removed.
  virtual bool DeleteFile(const UTF16String& path) = 0;
  // Atomically replaces `to` by `from`: a reader sees one or the other.
  virtual void RenameFile(const UTF16String& from, const UTF16String& to) = 0;
  // Makes completed renames inside the directory durable (no-op where the
  // platform does this itself).
  virtual void SyncDirectory(const UTF16String& path) = 0;
  // Opens a regular file for reading. Anything else (a folder, a FIFO, a
  // device) is a FileError, without blocking.
  virtual std::unique_ptr<ReadableFile> OpenForRead(const UTF16String& path) = 0;
  // Opens a regular file for writing, creating or truncating; anything else
  // at `path` is a FileError, without blocking.
  virtual std::unique_ptr<WritableFile> OpenForWrite(const UTF16String& path) = 0;
  // Creates a new regular file at `path` and opens it for writing. Anything
  // already at `path`, a link included, is a FileError: the call never writes
  // through a link. The file gets the permission bits of the regular file at
  // `permissionsOf` when there is one, else read-write for the owner and
  // read-only for others.
  virtual std::unique_ptr<WritableFile> CreateNewFile(const UTF16String& path,
                                                      const UTF16String& permissionsOf) = 0;
  // Takes an exclusive lock on the lock file at `path`, creating it when
  // missing (never through a link), and waits while another holder (another
  // process, or another handle in this one) has it. The lock ends with the
  // handle, or with the process. Throws FileError when the file cannot be
  // opened or locked.
  virtual std::unique_ptr<FileLockHandle> LockFile(const UTF16String& path) = 0;
  // The names of the entries of a folder, without "." and "..", in no
  // particular order. Throws FileError.
  virtual std::vector<UTF16String> ListDirectory(const UTF16String& path) = 0;
  // The platform's documents folder for the current user.
  virtual UTF16String UserDocumentsPath() = 0;
};

// The operating system's implementation.
KELCORE_EXPORT FileSystem& PlatformFileSystem();
// The implementation in use: PlatformFileSystem unless a ScopedFileSystem is
// alive.
KELCORE_EXPORT FileSystem& CurrentFileSystem();

// Installs `fs` for its own lifetime and restores the previous one after.
// Scopes must nest (destroyed in reverse order of creation). `fs` must outlive
// the scope.
class KELCORE_EXPORT ScopedFileSystem {
 public:
  explicit ScopedFileSystem(FileSystem& fs);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  FileSystem* previous_;
};

}  // namespace kelcore::filesupport
