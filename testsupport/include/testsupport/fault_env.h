#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace testsupport {

// Wraps the library's platform seam on the real disk and injects faults on
// demand. Knobs may be changed at any time; each applies to the calls that
// start after. With `virtualClock`, sleeping only moves the clock that
// NowMicros reads, so a bounded wait ends at once and deterministically.
class FaultEnv : public kelabexperiment::platform::Env {
 public:
  using EntryKind = kelabexperiment::platform::EntryKind;
  using FileError = kelabexperiment::FileError;

  // Bytes a writable file accepts in all before Append throws ("disk full");
  // negative: unlimited. The bytes up to the limit do reach the file.
  std::atomic<long long> writeBudget{-1};
  std::atomic<bool> failCreate{false};
  std::atomic<bool> failReplace{false};
  std::atomic<bool> failSync{false};
  std::atomic<bool> failFolderSync{false};
  std::atomic<bool> failClose{false};  // closes, then reports an error (as NFS may)
  std::atomic<bool> failLock{false};
  std::atomic<bool> lockBusy{false};  // every TryLock finds another holder
  std::atomic<bool> virtualClock{false};
  std::atomic<int> replaces{0};
  std::atomic<int> locks{0};  // lock attempts, failed ones included
  // Stat of this path fails as if it could not be told (permissions, a loop).
  std::string failStatOf;
  // Run at the start of every OpenForRead (in the middle of a load) and every
  // CreateExclusive (in a save, after the file was read under the lock). Set
  // them, and failStatOf, before the code under test runs.
  std::function<void()> onOpenForRead;
  std::function<void()> onCreate;

  EntryKind Stat(const std::string& p) override {
    if (!failStatOf.empty() && p == failStatOf) {
      throw FileError("cannot tell what is at '" + p + "': injected permission failure");
    }
    return Base().Stat(p);
  }
  std::unique_ptr<kelabexperiment::platform::ReadableFile> OpenForRead(
      const std::string& p) override {
    if (onOpenForRead) onOpenForRead();
    return Base().OpenForRead(p);
  }
  std::unique_ptr<kelabexperiment::platform::WritableFile> CreateExclusive(
      const std::string& p, const std::string& attributesOf) override {
    if (failCreate) throw FileError("injected create failure");
    if (onCreate) onCreate();
    return std::make_unique<Writable>(Base().CreateExclusive(p, attributesOf), *this);
  }
  void Replace(const std::string& from, const std::string& to) override {
    if (failReplace) throw FileError("injected replace failure");
    Base().Replace(from, to);
    ++replaces;
  }
  void SyncFolder(const std::string& p) override {
    if (failFolderSync) throw FileError("injected folder flush failure");
    Base().SyncFolder(p);
  }
  bool Remove(const std::string& p) noexcept override { return Base().Remove(p); }
  std::unique_ptr<kelabexperiment::platform::FileLock> TryLock(const std::string& p) override {
    ++locks;
    if (failLock) throw FileError("injected lock failure");
    if (lockBusy) return nullptr;
    return Base().TryLock(p);
  }
  std::vector<std::string> List(const std::string& p) override { return Base().List(p); }
  void CreateFolder(const std::string& p) override { Base().CreateFolder(p); }
  void PinModule(const void* address) override { Base().PinModule(address); }
  std::uint64_t Random64() override { return Base().Random64(); }
  std::uint64_t NowMicros() override { return virtualClock ? now_.load() : Base().NowMicros(); }
  void SleepForMicros(std::uint64_t micros) override {
    if (virtualClock) {
      now_ += micros;
    } else {
      Base().SleepForMicros(micros);
    }
  }

 private:
  static kelabexperiment::platform::Env& Base() { return kelabexperiment::platform::DefaultEnv(); }

  class Writable : public kelabexperiment::platform::WritableFile {
   public:
    Writable(std::unique_ptr<kelabexperiment::platform::WritableFile> inner, FaultEnv& env)
        : inner_(std::move(inner)), env_(env) {}
    void Append(const void* data, std::size_t length) override {
      const long long budget = env_.writeBudget.load();
      if (budget >= 0 && static_cast<long long>(length) > budget) {
        inner_->Append(data, static_cast<std::size_t>(budget));
        env_.writeBudget = 0;
        throw FileError("injected write failure: disk full");
      }
      if (budget >= 0) env_.writeBudget = budget - static_cast<long long>(length);
      inner_->Append(data, length);
    }
    void Sync() override {
      if (env_.failSync) throw FileError("injected flush failure");
      inner_->Sync();
    }
    void Close() override {
      inner_->Close();
      if (env_.failClose) throw FileError("injected close failure");
    }

   private:
    std::unique_ptr<kelabexperiment::platform::WritableFile> inner_;
    FaultEnv& env_;
  };

  std::atomic<std::uint64_t> now_{0};
};

}  // namespace testsupport
