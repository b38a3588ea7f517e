#include "kelcore/filesupport/file_system.h"

#include <atomic>

namespace kelcore::filesupport {
namespace {
std::atomic<FileSystem*> gCurrent{nullptr};
}  // namespace

ReadableFile::~ReadableFile() = default;
WritableFile::~WritableFile() = default;
FileSystem::~FileSystem() = default;
FileLockHandle::~FileLockHandle() = default;

FileSystem& CurrentFileSystem() {
  FileSystem* fs = gCurrent.load(std::memory_order_acquire);
  return fs != nullptr ? *fs : PlatformFileSystem();
}

ScopedFileSystem::ScopedFileSystem(FileSystem& fs)
    : previous_(gCurrent.exchange(&fs, std::memory_order_acq_rel)) {}

ScopedFileSystem::~ScopedFileSystem() { gCurrent.store(previous_, std::memory_order_release); }

}  // namespace kelcore::filesupport
