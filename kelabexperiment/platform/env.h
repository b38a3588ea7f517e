#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kelabexperiment/errors.h"

namespace kelabexperiment::platform {

// What is at a path, the final link not followed.
enum class EntryKind {
  kMissing,    // nothing: the path, or a folder on the way, does not exist
  kFile,       // a regular file
  kDirectory,  // a folder
  kLink,       // a symbolic link or (Windows) a junction, dangling or not
  kOther,      // a FIFO, socket or device
};

// A regular file open for reading. Not thread-safe; one owner at a time.
class ReadableFile {
 public:
  virtual ~ReadableFile();
  virtual std::uint64_t Size() = 0;
  // Reads exactly `length` bytes or throws FileError.
  virtual void Read(void* buffer, std::size_t length) = 0;
};

// A new file open for writing. The destructor closes without reporting; call
// Close to learn whether everything reached the file. Not thread-safe.
class WritableFile {
 public:
  virtual ~WritableFile();
  virtual void Append(const void* data, std::size_t length) = 0;  // throws FileError
  virtual void Sync() = 0;                                        // to stable storage
  virtual void Close() = 0;                                       // throws FileError
};

// Held while a lock file is locked; destroying it releases the lock.
class FileLock {
 public:
  virtual ~FileLock();
  // Whether the lock file's path still names the locked file. A cleanup tool
  // or a sync client may delete or replace the file while it is held; the
  // lock then excludes no one who comes after, so work done under it must
  // not be committed.
  virtual bool StillNamed() = 0;
};

// The library's one seam to the operating system: the few operations that the
// state file's safety rests on, so that these promises are the library's own
// whatever host loads it. Paths are UTF-8; an implementation that cannot name
// a path exactly (Windows: invalid UTF-8) throws FileError, never touching
// another path. Every failure is a FileError naming the path and the
// operating system's reason. Implementations are thread-safe.
class Env {
 public:
  virtual ~Env();

  // What is at `path`, not following a final link. Only "does not exist"
  // is kMissing; any other failure (no search permission on a folder, a link
  // loop, a name too long) throws: it says nothing about the file.
  virtual EntryKind Stat(const std::string& path) = 0;

  // Opens the regular file at `path` for reading. A link, folder, FIFO or
  // device there is a FileError, given at once (never blocking).
  virtual std::unique_ptr<ReadableFile> OpenForRead(const std::string& path) = 0;

  // Creates a new regular file at `path` and opens it for writing. Anything
  // at `path` already, a dangling link included, is a FileError: nothing is
  // ever written through a link. The file gets the permission bits (never
  // setuid, setgid or sticky) and, where the process may set them, the owner
  // and group of the regular file at `attributesOf`; when there is none
  // (empty, or nothing regular there) it is read-write for the owner and
  // read-only for others.
  virtual std::unique_ptr<WritableFile> CreateExclusive(const std::string& path,
                                                        const std::string& attributesOf) = 0;

  // Atomically puts the file `from` in place of `to`: a reader opening `to`
  // finds one or the other, whole. A link at `to` is replaced, not followed.
  // Windows: a holder without delete sharing (a scanner, an indexer) is
  // waited for, about a second, before the call fails.
  virtual void Replace(const std::string& from, const std::string& to) = 0;

  // Makes the renames done inside the folder durable (a no-op where the
  // platform does that itself).
  virtual void SyncFolder(const std::string& path) = 0;

  // Removes the file or link at `path` (never what a link points to).
  // Returns whether it was removed; never throws, as it cleans up after
  // failures.
  virtual bool Remove(const std::string& path) noexcept = 0;

  // Takes the exclusive lock on the lock file at `path`, creating the file
  // when missing (never through a link), without waiting: null when another
  // holder (another process, or another lock in this one) has it. The file is
  // opened for reading only, so any user who can read it can lock it. After
  // locking, the path is checked to still name the locked file, and the lock
  // is taken again on the file the path names when it was deleted or
  // replaced meanwhile. The lock ends with the handle or the process.
  virtual std::unique_ptr<FileLock> TryLock(const std::string& path) = 0;

  // The names in a folder, without "." and "..", in no order. Names that are
  // not valid UTF-8 are left out: the library made none of them.
  virtual std::vector<std::string> List(const std::string& path) = 0;

  // Creates one folder, nothing writable by group or others. A folder there
  // already (or a link to one) is success; anything else is a FileError.
  virtual void CreateFolder(const std::string& path) = 0;

  // Keeps the module (shared library or executable) that holds `address`
  // mapped until the process ends, however often the host unloads it.
  virtual void PinModule(const void* address) = 0;

  // 64 bits from the operating system's random source.
  virtual std::uint64_t Random64() = 0;

  // A monotonic clock and a pause, for bounded waits.
  virtual std::uint64_t NowMicros() = 0;
  virtual void SleepForMicros(std::uint64_t micros) = 0;
};

// The operating system's implementation; lives as long as the process.
Env& DefaultEnv();

// The implementation in use: DefaultEnv unless a ScopedEnv lives.
Env& CurrentEnv();

// Installs `env` for its lifetime (tests, a tool's dry run) and restores the
// previous one after. REQUIRES: scopes nest; `env` outlives the scope; no
// other thread uses CurrentEnv meanwhile.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env& env);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

}  // namespace kelabexperiment::platform
