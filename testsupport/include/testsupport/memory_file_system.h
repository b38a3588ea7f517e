#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kelcore/filesupport/file_system.h"
#include "testsupport/memory_disk.h"

namespace testsupport {

// A file system held in memory, for tests and fuzzing that must not touch the
// disk. Paths are compared as given (no normalisation); a folder exists once
// created, a file's parent folder is not checked (but a power loss keeps an
// entry only inside a folder that it keeps). Thread-safe.
//
// Crash tests can also ask what would survive a power loss (MemoryDisk has
// the rules): set up the disk and call SyncEverything, run the code under
// test with a crash point, then SimulatePowerLoss and look.
class MemoryFileSystem : public kelcore::filesupport::FileSystem {
 public:
  using UTF16String = kelcore::UTF16String;
  using PathKind = kelcore::filesupport::PathKind;
  using FileError = kelcore::filesupport::FileError;

  // PutFile and GetFile see the disk as it is now. Like the four calls
  // below them, they are not operations: they never count or fail.
  void PutFile(const UTF16String& path, std::string content) {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    disk_->FileAt(path)->data = std::move(content);
  }
  bool GetFile(const UTF16String& path, std::string* content) const {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    auto it = disk_->files.find(path);
    if (it == disk_->files.end()) return false;
    *content = it->second->data;
    return true;
  }

  // Makes everything present durable, as a clean shutdown would.
  void SyncEverything() {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    disk_->SyncEverything();
  }
  // Drops all that is not durable, as a power loss would, and lifts the crash
  // point. REQUIRES: no file open, no lock held (their process is gone).
  void SimulatePowerLoss() {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    disk_->LosePower();
  }
  // Counts operations from now on (every call of this file system except
  // UserDocumentsPath, and of the files it opened, reads included) and
  // fails the n-th, counting from 0, and every later one until
  // SimulatePowerLoss, as if the process had died there. A failing operation
  // changes nothing and throws FileError, or returns false where its
  // contract reports failure that way.
  void CrashAtOperation(std::size_t n) {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    disk_->operations = 0;
    disk_->crashAt = n;
  }
  // Operations since the last CrashAtOperation, failed ones included.
  std::size_t Operations() const {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    return disk_->operations;
  }

  PathKind Stat(const UTF16String& p) override {
    const auto lock = disk_->Begin();
    if (disk_->files.count(p)) return PathKind::kFile;
    if (disk_->folders.count(p)) return PathKind::kDirectory;
    return PathKind::kMissing;
  }
  void CreateDirectory(const UTF16String& p) override {
    const auto lock = disk_->Begin();
    if (disk_->files.count(p)) throw FileError("a file is in the way of a folder");
    disk_->folders.insert(p);
  }
  bool CreateFile(const UTF16String& p, bool exclusive) override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    if (!disk_->Proceed() || disk_->folders.count(p)) return false;
    if (disk_->files.count(p)) return !exclusive;
    disk_->FileAt(p);
    return true;
  }
  bool DeleteFile(const UTF16String& p) override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    return disk_->Proceed() && disk_->files.erase(p) == 1;
  }
  void RenameFile(const UTF16String& from, const UTF16String& to) override {
    const auto lock = disk_->Begin();
    auto it = disk_->files.find(from);
    if (it == disk_->files.end() || disk_->folders.count(to)) throw FileError("cannot rename");
    auto node = std::move(it->second);
    disk_->files.erase(it);
    disk_->files[to] = std::move(node);
  }
  void SyncDirectory(const UTF16String& p) override {
    const auto lock = disk_->Begin();
    disk_->SyncFolder(p);
  }
  std::unique_ptr<kelcore::filesupport::ReadableFile> OpenForRead(const UTF16String& p) override {
    const auto lock = disk_->Begin();
    auto it = disk_->files.find(p);
    if (it == disk_->files.end()) throw FileError("no such file");
    return std::make_unique<Readable>(disk_, it->second->data);
  }
  std::unique_ptr<kelcore::filesupport::WritableFile> OpenForWrite(const UTF16String& p) override {
    const auto lock = disk_->Begin();
    const auto& node = disk_->FileAt(p);
    node->data.clear();
    return std::make_unique<Writable>(disk_, node);
  }
  std::unique_ptr<kelcore::filesupport::WritableFile> CreateNewFile(
      const UTF16String& p, const UTF16String& /*permissionsOf*/) override {
    const auto lock = disk_->Begin();
    if (disk_->files.count(p) || disk_->folders.count(p)) {
      throw FileError("cannot create: something is in the way");
    }
    return std::make_unique<Writable>(disk_, disk_->FileAt(p));
  }
  std::unique_ptr<kelcore::filesupport::FileLockHandle> LockFile(const UTF16String& p) override {
    std::mutex* pathMutex;
    {
      const auto lock = disk_->Begin();
      if (disk_->folders.count(p)) throw FileError("cannot lock a folder");
      disk_->FileAt(p);
      auto& slot = disk_->locks[p];
      if (!slot) slot = std::make_unique<std::mutex>();
      pathMutex = slot.get();
    }
    return std::make_unique<Lock>(*pathMutex);
  }
  std::vector<UTF16String> ListDirectory(const UTF16String& p) override {
    const auto lock = disk_->Begin();
    std::vector<UTF16String> names;
    for (const auto& entry : disk_->files) {
      if (MemoryDisk::InFolder(entry.first, p)) names.push_back(entry.first.substr(p.size() + 1));
    }
    for (const auto& folder : disk_->folders) {
      if (MemoryDisk::InFolder(folder, p)) names.push_back(folder.substr(p.size() + 1));
    }
    return names;
  }
  UTF16String UserDocumentsPath() override { return UTF16String(L"/docs"); }

 private:
  class Lock : public kelcore::filesupport::FileLockHandle {
   public:
    explicit Lock(std::mutex& mutex) : lock_(mutex) {}

   private:
    std::unique_lock<std::mutex> lock_;
  };

  // Reads what the file held when it was opened.
  class Readable : public kelcore::filesupport::ReadableFile {
   public:
    Readable(std::shared_ptr<MemoryDisk> disk, std::string content)
        : disk_(std::move(disk)), content_(std::move(content)) {}
    std::uint64_t Size() override {
      const auto lock = disk_->Begin();
      return content_.size();
    }
    void Read(void* buffer, std::size_t length) override {
      const auto lock = disk_->Begin();
      if (length > content_.size() - offset_) throw FileError("file ended early");
      content_.copy(static_cast<char*>(buffer), length, offset_);
      offset_ += length;
    }

   private:
    std::shared_ptr<MemoryDisk> disk_;
    std::string content_;
    std::size_t offset_ = 0;
  };

  class Writable : public kelcore::filesupport::WritableFile {
   public:
    Writable(std::shared_ptr<MemoryDisk> disk, std::shared_ptr<MemoryDisk::Node> node)
        : disk_(std::move(disk)), node_(std::move(node)) {}
    void Append(const void* data, std::size_t length) override {
      const auto lock = disk_->Begin();
      node_->data.append(static_cast<const char*>(data), length);
    }
    void Sync() override {
      const auto lock = disk_->Begin();
      node_->synced = node_->data;
    }
    void Close() override { disk_->Begin(); }  // counts, and fails at the crash point

   private:
    std::shared_ptr<MemoryDisk> disk_;
    std::shared_ptr<MemoryDisk::Node> node_;
  };

  std::shared_ptr<MemoryDisk> disk_ = std::make_shared<MemoryDisk>();
};

}  // namespace testsupport
