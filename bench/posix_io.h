#pragma once

// The file steps every baseline shares, done with plain POSIX calls.

#include <string>

namespace kelab_bench {

// The whole file at `path`. Throws std::runtime_error when it cannot be read.
std::string ReadAll(const std::string& path);

// ReadAll, except that a missing file gives false and leaves `text` alone.
bool ReadIfPresent(const std::string& path, std::string& text);

// Writes `text` the way the store does: "<path>.tmp", fsync, rename over
// `path`, fsync of the folder. Throws std::runtime_error on a failed call.
void ReplaceFile(const std::string& path, const std::string& text);

}  // namespace kelab_bench
