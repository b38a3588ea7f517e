#ifndef _WIN32

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "platform/env.h"

namespace kelabexperiment::platform {
namespace {

// New files and folders: nothing writable by group or others, whatever the
// umask allows.
constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kNewFolderMode = 0755;

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
  throw FileError(std::string(what) + " '" + path + "': " + std::strerror(error));
}

EntryKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kFile;
  if (S_ISDIR(mode)) return EntryKind::kDirectory;
  if (S_ISLNK(mode)) return EntryKind::kLink;
  return EntryKind::kOther;
}

class PosixReadableFile final : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixReadableFile() override { ::close(fd_); }

  std::uint64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) Fail("cannot stat", path_, errno);
    return static_cast<std::uint64_t>(st.st_size);
  }

  void Read(void* buffer, std::size_t length) override {
    auto* out = static_cast<char*>(buffer);
    while (length > 0) {
      const ssize_t n = ::read(fd_, out, length);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("cannot read", path_, errno);
      if (n == 0) throw FileError("cannot read '" + path_ + "': the file ended early");
      out += n;
      length -= static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
  std::string path_;
};

class PosixWritableFile final : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  void Append(const void* data, std::size_t length) override {
    const auto* in = static_cast<const char*>(data);
    while (length > 0) {
      const ssize_t n = ::write(fd_, in, length);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("cannot write", path_, errno);
      in += n;
      length -= static_cast<std::size_t>(n);
    }
  }

  void Sync() override {
    if (::fsync(fd_) != 0) Fail("cannot flush", path_, errno);
  }

  void Close() override {
    const int fd = std::exchange(fd_, -1);
    if (fd >= 0 && ::close(fd) != 0) Fail("cannot close", path_, errno);
  }

 private:
  int fd_;
  std::string path_;
};

class PosixFileLock final : public FileLock {
 public:
  PosixFileLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFileLock() override { ::close(fd_); }  // closing releases the lock

  bool StillNamed() override {
    struct stat held;
    struct stat named;
    return ::fstat(fd_, &held) == 0 && ::lstat(path_.c_str(), &named) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
  }

 private:
  int fd_;
  std::string path_;
};

// The new file takes the model's permission bits, without setuid, setgid or
// sticky, and its owner and group where this process may give them (root
// editing a user's file must not leave it root's).
void CopyAttributes(int fd, const std::string& path, const std::string& attributesOf) {
  struct stat model;
  if (attributesOf.empty() || ::lstat(attributesOf.c_str(), &model) != 0 ||
      !S_ISREG(model.st_mode)) {
    return;
  }
  if (::fchown(fd, model.st_uid, model.st_gid) != 0) {
    (void)::fchown(fd, static_cast<uid_t>(-1), model.st_gid);  // the group alone, if a member
  }
  // After the owner: a change of owner may clear permission bits.
  if (::fchmod(fd, model.st_mode & 0777) != 0) Fail("cannot set the permissions of", path, errno);
}

class PosixEnv final : public Env {
 public:
  EntryKind Stat(const std::string& path) override {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) return KindOf(st.st_mode);
    if (errno == ENOENT) return EntryKind::kMissing;
    Fail("cannot tell what is at", path, errno);
  }

  std::unique_ptr<ReadableFile> OpenForRead(const std::string& path) override {
    // O_NONBLOCK: a FIFO or device answers at once instead of waiting for a
    // writer; O_NOFOLLOW: a link is refused, not read through.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) Fail("cannot open", path, errno);
    auto file = std::make_unique<PosixReadableFile>(fd, path);
    struct stat st;
    if (::fstat(fd, &st) != 0) Fail("cannot stat", path, errno);
    if (!S_ISREG(st.st_mode)) throw FileError("cannot open '" + path + "': not a regular file");
    // Regular files ignore O_NONBLOCK; clearing it keeps later reads ordinary.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return file;
  }

  std::unique_ptr<WritableFile> CreateExclusive(const std::string& path,
                                                const std::string& attributesOf) override {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
    if (fd < 0) Fail("cannot create", path, errno);
    auto file = std::make_unique<PosixWritableFile>(fd, path);
    try {
      CopyAttributes(fd, path, attributesOf);
    } catch (...) {
      file.reset();
      ::unlink(path.c_str());
      throw;
    }
    return file;
  }

  void Replace(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) Fail("cannot replace", to, errno);
  }

  void SyncFolder(const std::string& path) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) Fail("cannot open folder", path, errno);
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // EINVAL: a file system that cannot flush folders, and needs no flush for
    // a rename to last.
    if (result != 0 && error != EINVAL) Fail("cannot flush folder", path, error);
  }

  bool Remove(const std::string& path) noexcept override { return ::unlink(path.c_str()) == 0; }

  std::unique_ptr<FileLock> TryLock(const std::string& path) override {
    // A cleanup tool or a sync client may delete or replace the lock file
    // while it is held; a lock on a file no longer at the path excludes no
    // one, so it is taken again on the one that is.
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
      const int fd =
          ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
      if (fd < 0) Fail("cannot open the lock file", path, errno);
      auto lock = std::make_unique<PosixFileLock>(fd, path);
      struct stat held;
      if (::fstat(fd, &held) != 0) Fail("cannot stat the lock file", path, errno);
      if (!S_ISREG(held.st_mode)) throw FileError("cannot lock '" + path + "': not a regular file");
      // Readable by all, whatever the umask, so that any user's process can
      // lock it with a descriptor that needs only read access.
      if ((held.st_mode & 0444) != 0444 && held.st_uid == ::geteuid()) ::fchmod(fd, 0644);
      // flock belongs to the open file, so two locks in one process exclude
      // each other as two processes do.
      int result;
      while ((result = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
      }
      if (result != 0) {
        if (errno == EWOULDBLOCK) return nullptr;
        Fail("cannot lock", path, errno);
      }
      if (lock->StillNamed()) return lock;
    }
    throw FileError("cannot lock '" + path + "': it is replaced each time it is locked");
  }

  std::vector<std::string> List(const std::string& path) override {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) Fail("cannot list folder", path, errno);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
  }

  void CreateFolder(const std::string& path) override {
    if (::mkdir(path.c_str(), kNewFolderMode) == 0) return;
    const int error = errno;
    struct stat st;
    if (error == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    Fail("cannot create folder", path, error);
  }

  void PinModule(const void* address) override {
    Dl_info info;
    link_map* module = nullptr;
    if (::dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 ||
        module == nullptr) {
      throw FileError("cannot pin the module: no module holds the address");
    }
    // The program itself (no name in the link map) is never unloaded.
    if (module->l_name == nullptr || module->l_name[0] == '\0') return;
    // RTLD_NOLOAD finds the loaded module; RTLD_NODELETE then keeps it mapped
    // past every dlclose. The reference this adds is deliberately never dropped.
    if (::dlopen(module->l_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) == nullptr) {
      const char* error = ::dlerror();
      throw FileError(std::string("cannot pin the module '") + module->l_name +
                      "': " + (error ? error : "unknown"));
    }
  }

  std::uint64_t Random64() override {
    std::uint64_t value;
    auto* out = reinterpret_cast<unsigned char*>(&value);
    for (std::size_t got = 0; got < sizeof value;) {
      const ssize_t n = ::getrandom(out + got, sizeof value - got, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("cannot read", "the random source", errno);
      got += static_cast<std::size_t>(n);
    }
    return value;
  }

  std::uint64_t NowMicros() override {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 +
           static_cast<std::uint64_t>(now.tv_nsec) / 1'000;
  }

  void SleepForMicros(std::uint64_t micros) override {
    timespec pause{static_cast<time_t>(micros / 1'000'000),
                   static_cast<long>(micros % 1'000'000 * 1'000)};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
  }

 private:
  static constexpr int kLockAttempts = 100;
};

}  // namespace

Env& DefaultEnv() {
  static PosixEnv* env = new PosixEnv;  // lives as long as the process
  return *env;
}

}  // namespace kelabexperiment::platform

#endif  // _WIN32
