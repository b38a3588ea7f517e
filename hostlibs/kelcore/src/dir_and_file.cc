#include "file_system.h"
#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"
#include "kelcore/threads/mutex.h"
#include "platform_environment.h"

namespace kelcore::filesupport {
namespace {

threads::Mutex gDocsMutex;
// The folder set with SetUserDocsDir; empty when none is.
UTF16String& DocsOverride() KEL_REQUIRES(gDocsMutex) {
  static UTF16String* path = new UTF16String;
  return *path;
}

UTF16String Join(const UTF16String& parent, const UTF16String& name) {
  UTF16String path = parent;
  if (!path.empty() && path.back() != kPathSeparator && path.back() != L'/') {
    path.push_back(kPathSeparator);
  }
  return path + name;
}

// The folder part of `path`, or empty when it has none.
UTF16String ParentOf(const UTF16String& path) {
  std::size_t end = path.size();
  while (end > 1 && (path[end - 1] == kPathSeparator || path[end - 1] == L'/')) --end;
  const std::size_t cut = path.find_last_of(L"/\\", end == 0 ? 0 : end - 1);
  if (cut == UTF16String::npos) return UTF16String();
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

}  // namespace

Dir::Dir(UTF16String path) : path_(std::move(path)) {}

Dir::Dir(const Dir& parent, const UTF16String& name) : path_(Join(parent.path_, name)) {}

Dir Dir::UserDocsDir() {
  {
    threads::MutexLock lock(&gDocsMutex);
    if (!DocsOverride().empty()) return Dir(DocsOverride());
  }
  if (UTF16String env = EnvironmentText("KEL_USER_DOCS_DIR"); !env.empty()) {
    return Dir(std::move(env));
  }
  return Dir(PlatformFileSystem().UserDocumentsPath());
}

void Dir::SetUserDocsDir(const UTF16String& path) {
  threads::MutexLock lock(&gDocsMutex);
  DocsOverride() = path;
}

bool Dir::Exists() const { return PlatformFileSystem().Stat(path_) == PathKind::kDirectory; }

void Dir::Create() const {
  FileSystem& fs = PlatformFileSystem();
  if (fs.Stat(path_) == PathKind::kDirectory) return;
  const UTF16String parent = ParentOf(path_);
  if (!parent.empty() && parent != path_) Dir(parent).Create();
  fs.CreateDirectory(path_);
}

File::File(const Dir& dir, const UTF16String& name) : path_(Join(dir.FullPath(), name)) {}

File::File(UTF16String path, StorageType /*type*/) : path_(std::move(path)) {}

bool File::Exists() const { return PlatformFileSystem().Stat(path_) == PathKind::kFile; }

bool File::Create(bool exclusive) const {
  return PlatformFileSystem().CreateFile(path_, exclusive);
}

bool File::Delete() const { return PlatformFileSystem().DeleteFile(path_); }

}  // namespace kelcore::filesupport
