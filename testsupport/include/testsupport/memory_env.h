#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/env.h"
#include "testsupport/memory_disk.h"

namespace testsupport {

// The library's platform seam held in memory, for tests and fuzzing that must
// not touch the disk. Paths are compared as given (no normalisation, '/'
// separates); a folder exists once created, a file's parent folder is not
// checked (but a power loss keeps an entry only inside a folder that it
// keeps). Links are names only: never followed, so reading or creating at
// one fails. Its clock moves only when asked to sleep; Random64 counts. The
// lock of a lock file excludes other locks in this process only.
// Thread-safe.
//
// Crash tests can also ask what would survive a power loss (MemoryDisk has
// the rules): set up the disk and call SyncEverything, run the code under
// test with a crash point, then SimulatePowerLoss and look.
class MemoryEnv : public kelabexperiment::platform::Env {
 public:
  using EntryKind = kelabexperiment::platform::EntryKind;
  using FileError = kelabexperiment::FileError;

  // PutFile, PutLink and GetFile see the disk as it is now. Like the four
  // calls below them, they are not operations: they never count or fail.
  void PutFile(const std::string& path, std::string content) {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    disk_->FileAt(path)->data = std::move(content);
  }
  void PutLink(const std::string& path) {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    disk_->links.insert(path);
  }
  bool GetFile(const std::string& path, std::string* content) const {
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
  // Counts operations from now on (every file operation of this seam, and of
  // the files it opened, reads included; not the clock, the random source or
  // pinning) and fails the n-th, counting from 0, and every later one until
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
  int Pins() const {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    return pins_;
  }

  EntryKind Stat(const std::string& p) override {
    const auto lock = disk_->Begin();
    return KindAt(p);
  }
  std::unique_ptr<kelabexperiment::platform::ReadableFile> OpenForRead(
      const std::string& p) override {
    const auto lock = disk_->Begin();
    auto it = disk_->files.find(p);
    if (it == disk_->files.end()) throw FileError("cannot open '" + p + "': not a regular file");
    return std::make_unique<Readable>(disk_, it->second->data);
  }
  std::unique_ptr<kelabexperiment::platform::WritableFile> CreateExclusive(
      const std::string& p, const std::string& /*attributesOf*/) override {
    const auto lock = disk_->Begin();
    if (KindAt(p) != EntryKind::kMissing) throw FileError("cannot create '" + p + "': it exists");
    return std::make_unique<Writable>(disk_, disk_->FileAt(p));
  }
  void Replace(const std::string& from, const std::string& to) override {
    const auto lock = disk_->Begin();
    auto it = disk_->files.find(from);
    if (it == disk_->files.end() || disk_->folders.count(to)) {
      throw FileError("cannot replace '" + to + "'");
    }
    auto node = std::move(it->second);
    disk_->files.erase(it);
    disk_->links.erase(to);
    disk_->files[to] = std::move(node);
  }
  void SyncFolder(const std::string& p) override {
    const auto lock = disk_->Begin();
    disk_->SyncFolder(p);
  }
  bool Remove(const std::string& p) noexcept override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    return disk_->Proceed() && disk_->files.erase(p) + disk_->links.erase(p) == 1;
  }
  std::unique_ptr<kelabexperiment::platform::FileLock> TryLock(const std::string& p) override {
    const auto lock = disk_->Begin();
    if (KindAt(p) != EntryKind::kFile && KindAt(p) != EntryKind::kMissing) {
      throw FileError("cannot lock '" + p + "': not a regular file");
    }
    const std::shared_ptr<MemoryDisk::Node> node = disk_->FileAt(p);
    if (!disk_->locked.insert(p).second) return nullptr;
    return std::make_unique<Lock>(disk_, p, node);
  }
  std::vector<std::string> List(const std::string& p) override {
    const auto lock = disk_->Begin();
    std::vector<std::string> names;
    const auto add = [&](const std::string& path) {
      if (MemoryDisk::InFolder(path, p)) names.push_back(path.substr(p.size() + 1));
    };
    for (const auto& entry : disk_->files) add(entry.first);
    for (const auto& folder : disk_->folders) add(folder);
    for (const auto& link : disk_->links) add(link);
    return names;
  }
  void CreateFolder(const std::string& p) override {
    const auto lock = disk_->Begin();
    const EntryKind kind = KindAt(p);
    if (kind != EntryKind::kMissing && kind != EntryKind::kDirectory) {
      throw FileError("cannot create folder '" + p + "': something else is there");
    }
    disk_->folders.insert(p);
  }
  void PinModule(const void* /*address*/) override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    ++pins_;
  }
  std::uint64_t Random64() override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    // splitmix64 of a counter: distinct values, deterministic per run.
    std::uint64_t z = (random_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  std::uint64_t NowMicros() override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    return now_;
  }
  void SleepForMicros(std::uint64_t micros) override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    now_ += micros;
  }

 private:
  // REQUIRES: the disk's mutex held.
  EntryKind KindAt(const std::string& p) const {
    if (disk_->files.count(p)) return EntryKind::kFile;
    if (disk_->folders.count(p)) return EntryKind::kDirectory;
    if (disk_->links.count(p)) return EntryKind::kLink;
    return EntryKind::kMissing;
  }

  class Lock : public kelabexperiment::platform::FileLock {
   public:
    Lock(std::shared_ptr<MemoryDisk> disk, std::string path, std::shared_ptr<MemoryDisk::Node> node)
        : disk_(std::move(disk)), path_(std::move(path)), node_(std::move(node)) {}
    ~Lock() override {
      std::lock_guard<std::mutex> lock(disk_->mutex);
      disk_->locked.erase(path_);
    }
    bool StillNamed() override {
      std::lock_guard<std::mutex> lock(disk_->mutex);
      const auto it = disk_->files.find(path_);
      return it != disk_->files.end() && it->second == node_;
    }

   private:
    std::shared_ptr<MemoryDisk> disk_;
    std::string path_;
    std::shared_ptr<MemoryDisk::Node> node_;
  };

  // Reads what the file held when it was opened.
  class Readable : public kelabexperiment::platform::ReadableFile {
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

  class Writable : public kelabexperiment::platform::WritableFile {
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
  int pins_ = 0;              // guarded by the disk's mutex
  std::uint64_t random_ = 0;  // likewise
  std::uint64_t now_ = 0;     // likewise
};

}  // namespace testsupport
