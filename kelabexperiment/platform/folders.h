#pragma once

#include <string>

#include "platform/env.h"

namespace kelabexperiment::platform {

// The characters that end a folder's name in a path.
#ifdef _WIN32
inline constexpr char kPathSeparators[] = "/\\";
#else
inline constexpr char kPathSeparators[] = "/";
#endif

// The folder that holds the entry at `path` ("." for a bare name).
std::string FolderOf(const std::string& path);

// Creates the folder at `path` and every missing folder above it, each made
// durable in its parent. A link to a folder counts as a folder: a user may
// keep documents anywhere. Throws FileError when one cannot be created or
// what is on the way cannot be told.
void CreateFolders(Env& env, const std::string& path);

}  // namespace kelabexperiment::platform
