#include "platform/folders.h"

namespace kelabexperiment::platform {

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of(kPathSeparators);
  if (cut == std::string::npos) return ".";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

void CreateFolders(Env& env, const std::string& path) {
  if (env.Stat(path) != EntryKind::kMissing) {
    env.CreateFolder(path);  // fails unless a folder is there
    return;
  }
  const std::string parent = FolderOf(path);
  if (parent != path && parent != ".") CreateFolders(env, parent);
  env.CreateFolder(path);
  // A new folder's entry must survive a power loss as the files saved in it do.
  env.SyncFolder(parent);
}

}  // namespace kelabexperiment::platform
