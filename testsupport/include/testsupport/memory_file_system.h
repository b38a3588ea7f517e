#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kelcore/filesupport/file_system.h"

namespace testsupport {

// A file system held in memory, for tests and fuzzing that must not touch the
// disk. Paths are compared as given (no normalisation); a folder exists once
// created, a file's parent folder is not checked. Thread-safe.
class MemoryFileSystem : public kelcore::filesupport::FileSystem {
 public:
  using UTF16String = kelcore::UTF16String;
  using PathKind = kelcore::filesupport::PathKind;
  using FileError = kelcore::filesupport::FileError;

  void PutFile(const UTF16String& path, std::string content) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->files[path] = std::move(content);
  }
  bool GetFile(const UTF16String& path, std::string* content) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto it = state_->files.find(path);
    if (it == state_->files.end()) return false;
    *content = it->second;
    return true;
  }

  PathKind Stat(const UTF16String& p) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->files.count(p)) return PathKind::kFile;
    if (state_->folders.count(p)) return PathKind::kDirectory;
    return PathKind::kMissing;
  }
  void CreateDirectory(const UTF16String& p) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->files.count(p)) throw FileError("a file is in the way of a folder");
    state_->folders.insert(p);
  }
  bool CreateFile(const UTF16String& p, bool exclusive) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->folders.count(p)) return false;
    if (state_->files.count(p)) return !exclusive;
    state_->files[p];
    return true;
  }
  bool DeleteFile(const UTF16String& p) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->files.erase(p) == 1;
  }
  void RenameFile(const UTF16String& from, const UTF16String& to) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto it = state_->files.find(from);
    if (it == state_->files.end() || state_->folders.count(to)) throw FileError("cannot rename");
    state_->files[to] = std::move(it->second);
    state_->files.erase(from);
  }
  void SyncDirectory(const UTF16String&) override {}
  std::unique_ptr<kelcore::filesupport::ReadableFile> OpenForRead(const UTF16String& p) override {
    std::string content;
    if (!GetFile(p, &content)) throw FileError("no such file");
    return std::make_unique<Readable>(std::move(content));
  }
  std::unique_ptr<kelcore::filesupport::WritableFile> OpenForWrite(const UTF16String& p) override {
    PutFile(p, std::string());
    return std::make_unique<Writable>(state_, p);
  }
  std::unique_ptr<kelcore::filesupport::WritableFile> CreateNewFile(
      const UTF16String& p, const UTF16String& /*permissionsOf*/) override {
    if (!CreateFile(p, true)) throw FileError("cannot create: something is in the way");
    return std::make_unique<Writable>(state_, p);
  }
  std::unique_ptr<kelcore::filesupport::FileLockHandle> LockFile(const UTF16String& p) override {
    std::mutex* pathMutex;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      if (state_->folders.count(p)) throw FileError("cannot lock a folder");
      state_->files[p];
      auto& slot = state_->locks[p];
      if (!slot) slot = std::make_unique<std::mutex>();
      pathMutex = slot.get();
    }
    return std::make_unique<Lock>(*pathMutex);
  }
  std::vector<UTF16String> ListDirectory(const UTF16String& p) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<UTF16String> names;
    auto collect = [&](const UTF16String& path) {
      if (path.size() > p.size() + 1 && path.compare(0, p.size(), p) == 0 &&
          path[p.size()] == L'/' && path.find(L'/', p.size() + 1) == UTF16String::npos) {
        names.push_back(path.substr(p.size() + 1));
      }
    };
    for (const auto& entry : state_->files) collect(entry.first);
    for (const auto& folder : state_->folders) collect(folder);
    return names;
  }
  UTF16String UserDocumentsPath() override { return UTF16String(L"/docs"); }

 private:
  struct State {
    std::mutex mutex;
    std::map<UTF16String, std::string> files;
    std::set<UTF16String> folders;
    std::map<UTF16String, std::unique_ptr<std::mutex>> locks;  // never erased
  };

  class Lock : public kelcore::filesupport::FileLockHandle {
   public:
    explicit Lock(std::mutex& mutex) : lock_(mutex) {}

   private:
    std::unique_lock<std::mutex> lock_;
  };

  class Readable : public kelcore::filesupport::ReadableFile {
   public:
    explicit Readable(std::string content) : content_(std::move(content)) {}
    std::uint64_t Size() override { return content_.size(); }
    void Read(void* buffer, std::size_t length) override {
      if (length > content_.size() - offset_) throw FileError("file ended early");
      content_.copy(static_cast<char*>(buffer), length, offset_);
      offset_ += length;
    }

   private:
    std::string content_;
    std::size_t offset_ = 0;
  };

  class Writable : public kelcore::filesupport::WritableFile {
   public:
    Writable(std::shared_ptr<State> state, UTF16String path)
        : state_(std::move(state)), path_(std::move(path)) {}
    void Append(const void* data, std::size_t length) override {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->files[path_].append(static_cast<const char*>(data), length);
    }
    void Sync() override {}
    void Close() override {}

   private:
    std::shared_ptr<State> state_;
    UTF16String path_;
  };

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace testsupport
