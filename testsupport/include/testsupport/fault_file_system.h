#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>

#include "kelcore/filesupport/file_system.h"

namespace testsupport {

// Wraps the platform file system and injects faults on demand. Knobs may be
// changed at any time; each applies to the calls that start after.
class FaultFileSystem : public kelcore::filesupport::FileSystem {
 public:
  using UTF16String = kelcore::UTF16String;
  using PathKind = kelcore::filesupport::PathKind;

  // Bytes a writable file accepts in all before Append throws ("disk full");
  // negative: unlimited. The bytes up to the limit do reach the file.
  std::atomic<long long> writeBudget{-1};
  std::atomic<bool> failCreateFile{false};
  std::atomic<bool> failRename{false};
  std::atomic<bool> failSync{false};
  std::atomic<bool> failClose{false};  // closes, then reports an error (as NFS may)
  std::atomic<bool> failLock{false};
  std::atomic<int> renames{0};
  std::atomic<int> locks{0};  // lock attempts, failed ones included
  // Runs at the start of every OpenForRead, to act in the middle of a load.
  // Set it before the code under test runs.
  std::function<void()> onOpenForRead;

  PathKind Stat(const UTF16String& p) override { return Base().Stat(p); }
  void CreateDirectory(const UTF16String& p) override { Base().CreateDirectory(p); }
  bool CreateFile(const UTF16String& p, bool exclusive) override {
    return !failCreateFile && Base().CreateFile(p, exclusive);
  }
  bool DeleteFile(const UTF16String& p) override { return Base().DeleteFile(p); }
  void RenameFile(const UTF16String& from, const UTF16String& to) override {
    if (failRename) throw kelcore::filesupport::FileError("injected rename failure");
    Base().RenameFile(from, to);
    ++renames;
  }
  void SyncDirectory(const UTF16String& p) override { Base().SyncDirectory(p); }
  std::unique_ptr<kelcore::filesupport::ReadableFile> OpenForRead(const UTF16String& p) override {
    if (onOpenForRead) onOpenForRead();
    return Base().OpenForRead(p);
  }
  std::unique_ptr<kelcore::filesupport::WritableFile> OpenForWrite(const UTF16String& p) override {
    return std::make_unique<Writable>(Base().OpenForWrite(p), *this);
  }
  std::unique_ptr<kelcore::filesupport::WritableFile> CreateNewFile(
      const UTF16String& p, const UTF16String& permissionsOf) override {
    if (failCreateFile) throw kelcore::filesupport::FileError("injected create failure");
    return std::make_unique<Writable>(Base().CreateNewFile(p, permissionsOf), *this);
  }
  std::unique_ptr<kelcore::filesupport::FileLockHandle> LockFile(const UTF16String& p) override {
    ++locks;
    if (failLock) throw kelcore::filesupport::FileError("injected lock failure");
    return Base().LockFile(p);
  }
  std::vector<UTF16String> ListDirectory(const UTF16String& p) override {
    return Base().ListDirectory(p);
  }
  UTF16String UserDocumentsPath() override { return Base().UserDocumentsPath(); }

 private:
  static kelcore::filesupport::FileSystem& Base() {
    return kelcore::filesupport::PlatformFileSystem();
  }

  class Writable : public kelcore::filesupport::WritableFile {
   public:
    Writable(std::unique_ptr<kelcore::filesupport::WritableFile> inner, FaultFileSystem& fs)
        : inner_(std::move(inner)), fs_(fs) {}
    void Append(const void* data, std::size_t length) override {
      const long long budget = fs_.writeBudget.load();
      if (budget >= 0 && static_cast<long long>(length) > budget) {
        inner_->Append(data, static_cast<std::size_t>(budget));
        fs_.writeBudget = 0;
        throw kelcore::filesupport::FileError("injected write failure: disk full");
      }
      if (budget >= 0) fs_.writeBudget = budget - static_cast<long long>(length);
      inner_->Append(data, length);
    }
    void Sync() override {
      if (fs_.failSync) throw kelcore::filesupport::FileError("injected flush failure");
      inner_->Sync();
    }
    void Close() override {
      inner_->Close();
      if (fs_.failClose) throw kelcore::filesupport::FileError("injected close failure");
    }

   private:
    std::unique_ptr<kelcore::filesupport::WritableFile> inner_;
    FaultFileSystem& fs_;
  };
};

}  // namespace testsupport
