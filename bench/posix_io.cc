#include "posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace kelab_bench {
namespace {

[[noreturn]] void Fail(const char* what, const std::string& path) {
  throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("cannot write", path);
    done += static_cast<std::size_t>(n);
  }
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::string ReadAll(const std::string& path) {
  std::string text;
  if (!ReadIfPresent(path, text)) Fail("cannot open", path);
  return text;
}

bool ReadIfPresent(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return false;
  if (fd < 0) Fail("cannot open", path);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    Fail("cannot stat", path);
  }
  std::string text(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      Fail("cannot read", path);
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  out = std::move(text);
  return true;
}

void ReplaceFile(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail("cannot create", temp);
  WriteAll(fd, text, temp);
  if (::fsync(fd) != 0) Fail("cannot flush", temp);
  if (::close(fd) != 0) Fail("cannot close", temp);
  if (std::rename(temp.c_str(), path.c_str()) != 0) Fail("cannot rename", temp);
  const std::string folder = FolderOf(path);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) Fail("cannot open folder", folder);
  ::fsync(dir);
  ::close(dir);
}

}  // namespace kelab_bench
