#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "kelcore/filesupport/file_error.h"
#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"

namespace kelcore::filesupport {

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
  virtual void Close() = 0;                                       // throws FileError
};

// The one seam between the host's file API (Dir, File, the byte streams, the
// debug database) and the operating system, one implementation per platform.
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
  // Opens a regular file for reading. Anything else (a folder, a FIFO, a
  // device) is a FileError, without blocking.
  virtual std::unique_ptr<ReadableFile> OpenForRead(const UTF16String& path) = 0;
  // Opens a regular file for writing, creating or truncating; anything else
  // at `path` is a FileError, without blocking.
  virtual std::unique_ptr<WritableFile> OpenForWrite(const UTF16String& path) = 0;
  // The platform's documents folder for the current user.
  virtual UTF16String UserDocumentsPath() = 0;
};

// The operating system's implementation.
KELCORE_EXPORT FileSystem& PlatformFileSystem();

}  // namespace kelcore::filesupport
