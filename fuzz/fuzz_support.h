#pragma once

// What every fuzzer shares: the input as host text, and an in-memory file
// system so that no input ever reaches the disk.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file_system.h"
#include "kelcore/string/string_types.h"
#include "testsupport/memory_file_system.h"

namespace fuzz {

inline kelcore::UTF8String Text(const std::uint8_t* data, std::size_t size) {
  return kelcore::UTF8String(data, data + size);
}

// Installs a fresh in-memory file system, with the documents folder at
// "/docs", for the lifetime of the object.
class InMemoryDisk {
 public:
  InMemoryDisk() : scope_(fs_) {
    kelcore::filesupport::Dir::SetUserDocsDir(kelcore::UTF16String(L"/docs"));
  }
  testsupport::MemoryFileSystem& fs() { return fs_; }

 private:
  testsupport::MemoryFileSystem fs_;
  kelcore::filesupport::ScopedFileSystem scope_;
};

// A property that must hold for every input; a failure is a finding.
inline void Require(bool property) {
  if (!property) std::abort();
}

}  // namespace fuzz
