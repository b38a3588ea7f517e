#include "file_system.h"

namespace kelcore::filesupport {

ReadableFile::~ReadableFile() = default;
WritableFile::~WritableFile() = default;
FileSystem::~FileSystem() = default;

}  // namespace kelcore::filesupport
