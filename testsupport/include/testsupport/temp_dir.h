#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "kelcore/string/conversions.h"

namespace testsupport {

#ifdef _WIN32
// Removes `path` and everything in it, also below MAX_PATH, which the
// standard library's folder listing cannot reach here. Errors are ignored.
void RemoveTree(const std::filesystem::path& path);
#endif

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("kelab-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
#ifdef _WIN32
    RemoveTree(path_);
#else
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
#endif
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The path as the host's UTF-16 text.
inline kelcore::UTF16String Wide(const std::filesystem::path& path) {
  return kelcore::string::UTF8to16(kelcore::string::FromStd(path.u8string()));
}

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace testsupport
