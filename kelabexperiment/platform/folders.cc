#include "platform/folders.h"

namespace kelabexperiment::platform {

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of(kPathSeparators);
  if (cut == std::string::npos) return ".";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

void CreateFolders(Env& env, const std::string& path) {
  const EntryKind kind = env.Stat(path);
  if (kind == EntryKind::kDirectory) return;  // each Initialize finds it so: one call
  if (kind != EntryKind::kMissing) {
    env.CreateFolder(path);  // a link to a folder passes; anything else fails
    return;
  }
  const std::string parent = FolderOf(path);
  if (parent != path && parent != ".") CreateFolders(env, parent);
  env.CreateFolder(path);
  // A new folder's entry must survive a power loss as the files saved in it do.
  env.SyncFolder(parent);
}

}  // namespace kelabexperiment::platform
