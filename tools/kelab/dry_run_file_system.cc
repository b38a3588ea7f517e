#include "dry_run_file_system.h"

#include <algorithm>

namespace kelab {
namespace {

using kelcore::filesupport::FileError;

class MemoryReadable final : public kelcore::filesupport::ReadableFile {
 public:
  explicit MemoryReadable(std::string content) : content_(std::move(content)) {}
  std::uint64_t Size() override { return content_.size(); }
  void Read(void* buffer, std::size_t length) override {
    if (length > content_.size() - offset_) throw FileError("the file ended early");
    content_.copy(static_cast<char*>(buffer), length, offset_);
    offset_ += length;
  }

 private:
  std::string content_;
  std::size_t offset_ = 0;
};

class MemoryWritable final : public kelcore::filesupport::WritableFile {
 public:
  MemoryWritable(DryRunFileSystem& fs, kelcore::UTF16String path)
      : fs_(fs), path_(std::move(path)) {}
  void Append(const void* data, std::size_t length) override {
    fs_.Append(path_, static_cast<const char*>(data), length);
  }
  void Sync() override {}
  void Close() override {}

 private:
  DryRunFileSystem& fs_;
  kelcore::UTF16String path_;
};

class NoLock final : public kelcore::filesupport::FileLockHandle {};

// `path` is directly inside `folder`: the name after it, else empty.
kelcore::UTF16String NameIn(const kelcore::UTF16String& path, const kelcore::UTF16String& folder) {
  if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0) return {};
  const wchar_t separator = path[folder.size()];
  if (separator != L'/' && separator != L'\\') return {};
  kelcore::UTF16String name = path.substr(folder.size() + 1);
  return name.find_first_of(L"/\\") == kelcore::UTF16String::npos ? name : kelcore::UTF16String();
}

}  // namespace

DryRunFileSystem::PathKind DryRunFileSystem::StatLocked(const UTF16String& path) {
  if (auto it = files_.find(path); it != files_.end()) {
    return it->second ? PathKind::kFile : PathKind::kMissing;
  }
  if (folders_.count(path)) return PathKind::kDirectory;
  return disk_.Stat(path);
}

DryRunFileSystem::PathKind DryRunFileSystem::Stat(const UTF16String& path) {
  kelcore::threads::MutexLock lock(&mutex_);
  return StatLocked(path);
}

void DryRunFileSystem::CreateDirectory(const UTF16String& path) {
  kelcore::threads::MutexLock lock(&mutex_);
  const PathKind kind = StatLocked(path);
  if (kind == PathKind::kDirectory) return;
  if (kind != PathKind::kMissing) throw FileError("cannot create a folder where a file is");
  folders_.insert(path);
}

bool DryRunFileSystem::CreateFile(const UTF16String& path, bool exclusive) {
  kelcore::threads::MutexLock lock(&mutex_);
  const PathKind kind = StatLocked(path);
  if (kind == PathKind::kFile) return !exclusive;
  if (kind != PathKind::kMissing) return false;
  files_[path] = std::string();
  return true;
}

bool DryRunFileSystem::DeleteFile(const UTF16String& path) {
  kelcore::threads::MutexLock lock(&mutex_);
  if (StatLocked(path) != PathKind::kFile) return false;
  files_[path] = std::nullopt;
  return true;
}

void DryRunFileSystem::RenameFile(const UTF16String& from, const UTF16String& to) {
  std::string content;
  {
    kelcore::threads::MutexLock lock(&mutex_);
    if (StatLocked(from) != PathKind::kFile) throw FileError("cannot rename: no file");
    if (StatLocked(to) == PathKind::kDirectory) throw FileError("cannot rename over a folder");
    if (auto it = files_.find(from); it != files_.end()) {
      files_[to] = std::move(it->second);
      it->second = std::nullopt;
      return;
    }
  }
  // A file only on disk: its content moves into memory.
  const auto in = disk_.OpenForRead(from);
  content.resize(static_cast<std::size_t>(in->Size()));
  in->Read(content.data(), content.size());
  kelcore::threads::MutexLock lock(&mutex_);
  files_[to] = std::move(content);
  files_[from] = std::nullopt;
}

std::unique_ptr<kelcore::filesupport::ReadableFile> DryRunFileSystem::OpenForRead(
    const UTF16String& path) {
  {
    kelcore::threads::MutexLock lock(&mutex_);
    if (auto it = files_.find(path); it != files_.end()) {
      if (!it->second) throw FileError("cannot open: no such file");
      return std::make_unique<MemoryReadable>(*it->second);
    }
    if (folders_.count(path)) throw FileError("cannot open a folder");
  }
  return disk_.OpenForRead(path);
}

std::unique_ptr<kelcore::filesupport::WritableFile> DryRunFileSystem::StartFile(
    const UTF16String& path, bool fresh) {
  kelcore::threads::MutexLock lock(&mutex_);
  const PathKind kind = StatLocked(path);
  if (kind != PathKind::kMissing && (fresh || kind != PathKind::kFile)) {
    throw FileError("cannot create the file: something is in the way");
  }
  files_[path] = std::string();
  return std::make_unique<MemoryWritable>(*this, path);
}

std::unique_ptr<kelcore::filesupport::WritableFile> DryRunFileSystem::OpenForWrite(
    const UTF16String& path) {
  return StartFile(path, false);
}

std::unique_ptr<kelcore::filesupport::WritableFile> DryRunFileSystem::CreateNewFile(
    const UTF16String& path, const UTF16String& /*permissionsOf*/) {
  return StartFile(path, true);
}

std::unique_ptr<kelcore::filesupport::FileLockHandle> DryRunFileSystem::LockFile(
    const UTF16String& /*path*/) {
  return std::make_unique<NoLock>();
}

std::vector<DryRunFileSystem::UTF16String> DryRunFileSystem::ListDirectory(
    const UTF16String& path) {
  kelcore::threads::MutexLock lock(&mutex_);
  std::vector<UTF16String> names;
  if (disk_.Stat(path) == PathKind::kDirectory) names = disk_.ListDirectory(path);
  const auto drop = [&names](const UTF16String& name) {
    names.erase(std::remove(names.begin(), names.end(), name), names.end());
  };
  for (const auto& [file, content] : files_) {
    const UTF16String name = NameIn(file, path);
    if (name.empty()) continue;
    drop(name);
    if (content) names.push_back(name);
  }
  for (const UTF16String& folder : folders_) {
    const UTF16String name = NameIn(folder, path);
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
      names.push_back(name);
    }
  }
  return names;
}

void DryRunFileSystem::Append(const UTF16String& path, const char* data, std::size_t length) {
  kelcore::threads::MutexLock lock(&mutex_);
  auto& content = files_[path];
  if (!content) throw FileError("the file was removed while it was written");
  content->append(data, length);
}

}  // namespace kelab
