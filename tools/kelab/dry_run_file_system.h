#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kelcore/filesupport/file_system.h"
#include "kelcore/threads/mutex.h"

namespace kelab {

// The file system of a dry run: reads see the disk as changed by the run,
// and no change reaches the disk. Files created, written, renamed or deleted
// and folders created live in memory over the disk; locks are taken by no
// one (a run that writes nothing needs none, and a lock file is a write).
// Paths are compared as given. Thread-safe.
class DryRunFileSystem final : public kelcore::filesupport::FileSystem {
 public:
  using UTF16String = kelcore::UTF16String;
  using PathKind = kelcore::filesupport::PathKind;

  explicit DryRunFileSystem(FileSystem& disk) : disk_(disk) {}

  PathKind Stat(const UTF16String& path) KEL_EXCLUDES(mutex_) override;
  void CreateDirectory(const UTF16String& path) KEL_EXCLUDES(mutex_) override;
  bool CreateFile(const UTF16String& path, bool exclusive) KEL_EXCLUDES(mutex_) override;
  bool DeleteFile(const UTF16String& path) KEL_EXCLUDES(mutex_) override;
  void RenameFile(const UTF16String& from, const UTF16String& to) KEL_EXCLUDES(mutex_) override;
  void SyncDirectory(const UTF16String&) override {}
  std::unique_ptr<kelcore::filesupport::ReadableFile> OpenForRead(const UTF16String& path)
      KEL_EXCLUDES(mutex_) override;
  std::unique_ptr<kelcore::filesupport::WritableFile> OpenForWrite(const UTF16String& path)
      KEL_EXCLUDES(mutex_) override;
  std::unique_ptr<kelcore::filesupport::WritableFile> CreateNewFile(
      const UTF16String& path, const UTF16String& permissionsOf) KEL_EXCLUDES(mutex_) override;
  std::unique_ptr<kelcore::filesupport::FileLockHandle> LockFile(const UTF16String& path) override;
  std::vector<UTF16String> ListDirectory(const UTF16String& path) KEL_EXCLUDES(mutex_) override;
  UTF16String UserDocumentsPath() override { return disk_.UserDocumentsPath(); }

  // Appends to a file written in memory (for the writable files it hands out).
  void Append(const UTF16String& path, const char* data, std::size_t length) KEL_EXCLUDES(mutex_);

 private:
  PathKind StatLocked(const UTF16String& path) KEL_REQUIRES(mutex_);
  // Starts an empty file in memory; anything but a file or nothing there
  // (or, with `fresh`, anything at all) is a FileError.
  std::unique_ptr<kelcore::filesupport::WritableFile> StartFile(const UTF16String& path, bool fresh)
      KEL_EXCLUDES(mutex_);

  FileSystem& disk_;
  kelcore::threads::Mutex mutex_;
  // Files as the run left them: their content, or none when deleted.
  std::map<UTF16String, std::optional<std::string>> files_ KEL_GUARDED_BY(mutex_);
  std::set<UTF16String> folders_ KEL_GUARDED_BY(mutex_);
};

}  // namespace kelab
