#pragma once

#include <cstddef>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "kelabexperiment/errors.h"

namespace testsupport {

// The state behind a MemoryEnv and the files it opens, with what of it
// a power loss would keep. As on a real disk without write-back guarantees, a
// file's data is durable only as of its last sync, and a folder's entries
// (creations, renames, removals) only as of the folder's last sync. Every
// access holds `mutex` (Begin takes it for an operation).
struct MemoryDisk {
  using Path = std::string;

  // A file's bytes apart from its name, so that a rename or a reopened name
  // never changes what an open file writes to.
  struct Node {
    std::string data;
    std::string synced;  // `data` as of the file's last sync
  };
  using Files = std::map<Path, std::shared_ptr<Node>>;
  using Folders = std::set<Path>;

  static constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

  // Whether `path` names an entry directly inside `folder` ('/' separates).
  static bool InFolder(const Path& path, const Path& folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/' && path.find('/', folder.size() + 1) == Path::npos;
  }

  // The file at `path`, created empty when missing.
  const std::shared_ptr<Node>& FileAt(const Path& path) {
    auto& node = files[path];
    if (!node) node = std::make_shared<Node>();
    return node;
  }

  // Counts one operation towards the crash point. REQUIRES: `mutex` held.
  // False from the crash point on: the operation must fail, changing nothing.
  bool Proceed() { return operations++ < crashAt; }
  // Locks the disk for one operation that reports failure by throwing; from
  // the crash point on, throws FileError.
  std::unique_lock<std::mutex> Begin() {
    std::unique_lock<std::mutex> lock(mutex);
    if (!Proceed()) throw kelabexperiment::FileError("simulated crash: the disk is gone");
    return lock;
  }

  // The entries directly inside `folder` become durable as they are now.
  void SyncFolder(const Path& folder) {
    CopyFolder(files, durableFiles, folder);
    CopyFolder(folders, durableFolders, folder);
  }

  // Everything present becomes durable, as after a clean shutdown.
  void SyncEverything() {
    for (auto& entry : files) entry.second->synced = entry.second->data;
    durableFiles = files;
    durableFolders = folders;
  }

  // Keeps only what is durable; the disk then works again. A lost folder
  // takes its entries with it, durable or not; top-level entries have no
  // folder to lose.
  void LosePower() {
    folders = durableFolders;
    files = durableFiles;
    // Sorted, a folder comes before its entries, so one pass suffices.
    DropOrphans(folders);
    DropOrphans(files);
    for (auto& entry : files) entry.second->data = entry.second->synced;
    crashAt = kNever;
  }

  std::mutex mutex;
  Files files;
  Folders folders;
  Files durableFiles;  // each entry as of its folder's last sync
  Folders durableFolders;
  std::set<Path> links;        // symbolic links (where they point does not matter here)
  std::set<Path> locked;       // lock files whose lock is held
  std::size_t operations = 0;  // since the crash point was set
  std::size_t crashAt = kNever;

 private:
  static const Path& PathOf(const Path& folder) { return folder; }
  static const Path& PathOf(const Files::value_type& file) { return file.first; }

  template <class Entries>
  void DropOrphans(Entries& entries) const {
    for (auto it = entries.begin(); it != entries.end();) {
      const Path& path = PathOf(*it);
      const std::size_t cut = path.rfind('/');
      const bool orphan = cut != Path::npos && cut != 0 && !folders.count(path.substr(0, cut));
      it = orphan ? entries.erase(it) : std::next(it);
    }
  }

  template <class Entries>
  static void CopyFolder(const Entries& from, Entries& to, const Path& folder) {
    for (auto it = to.begin(); it != to.end();) {
      it = InFolder(PathOf(*it), folder) ? to.erase(it) : std::next(it);
    }
    for (const auto& entry : from) {
      if (InFolder(PathOf(entry), folder)) to.insert(entry);
    }
  }
};

}  // namespace testsupport
