#pragma once

#include <filesystem>
#include <string>

namespace kelab_bench {

// The folder in which the operation `name` keeps its files: one per
// operation under `root`, created empty.
inline std::filesystem::path ScratchFolder(const std::filesystem::path& root, std::string name) {
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const std::filesystem::path folder = root / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace kelab_bench
