#include "kelcore/filesupport/byte_streams.h"

#include "file_system.h"

namespace kelcore::filesupport {

IPlatformByteStream::IPlatformByteStream(const File& file, Flags /*flags*/)
    : file_(PlatformFileSystem().OpenForRead(file.FullPath())) {}

IPlatformByteStream::~IPlatformByteStream() = default;

std::uint64_t IPlatformByteStream::Length() {
  if (!file_) throw FileError("read from a closed stream");
  return file_->Size();
}

void IPlatformByteStream::ReadBlock(void* buffer, std::uint32_t length) {
  if (!file_) throw FileError("read from a closed stream");
  file_->Read(buffer, length);
}

void IPlatformByteStream::Close() { file_.reset(); }

OPlatformByteStream::OPlatformByteStream(const File& file, Flags /*flags*/)
    : file_(PlatformFileSystem().OpenForWrite(file.FullPath())) {}

OPlatformByteStream::~OPlatformByteStream() = default;

void OPlatformByteStream::WriteBlock(const void* data, std::uint32_t length) {
  if (!file_) throw FileError("write to a closed stream");
  file_->Append(data, length);
}

void OPlatformByteStream::Close() {
  if (!file_) return;
  auto file = std::move(file_);
  file->Close();
}

}  // namespace kelcore::filesupport
