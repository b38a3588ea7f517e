#pragma once

#include <cstdint>
#include <memory>

#include "kelcore/filesupport/file.h"
#include "kelcore/kelcore_export.h"

namespace kelcore::filesupport {

class ReadableFile;
class WritableFile;

using Flags = std::uint32_t;
inline constexpr Flags kStreamBinary = 1;  // bytes pass unchanged

// Reads a whole file in blocks. Opening throws FileError when the file
// cannot be opened. Not thread-safe; one owner at a time.
class KELCORE_EXPORT IPlatformByteStream {
 public:
  IPlatformByteStream(const File& file, Flags flags);
  ~IPlatformByteStream();
  IPlatformByteStream(const IPlatformByteStream&) = delete;
  IPlatformByteStream& operator=(const IPlatformByteStream&) = delete;

  std::uint64_t Length();
  // Reads exactly `length` bytes into `buffer` or throws FileError.
  void ReadBlock(void* buffer, std::uint32_t length);
  void Close();

 private:
  std::unique_ptr<ReadableFile> file_;
};

// Writes a file from the start (an existing file is truncated). Opening and
// writing throw FileError. The destructor closes without reporting; call
// Close to learn whether everything reached the file.
class KELCORE_EXPORT OPlatformByteStream {
 public:
  OPlatformByteStream(const File& file, Flags flags);
  ~OPlatformByteStream();
  OPlatformByteStream(const OPlatformByteStream&) = delete;
  OPlatformByteStream& operator=(const OPlatformByteStream&) = delete;

  void WriteBlock(const void* data, std::uint32_t length);
  void Close();

 private:
  std::unique_ptr<WritableFile> file_;
};

}  // namespace kelcore::filesupport
