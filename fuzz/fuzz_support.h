#pragma once

// What every fuzzer shares: the input as host text, and the library's
// platform seam in memory so that no input ever reaches the disk.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kelcore/filesupport/dir.h"
#include "kelcore/string/string_types.h"
#include "platform/env.h"
#include "testsupport/memory_env.h"

namespace fuzz {

inline kelcore::UTF8String Text(const std::uint8_t* data, std::size_t size) {
  return kelcore::UTF8String(data, data + size);
}

// Installs a fresh in-memory platform seam, with the documents folder at
// "/docs", for the lifetime of the object.
class InMemoryDisk {
 public:
  InMemoryDisk() : scope_(fs_) {
    kelcore::filesupport::Dir::SetUserDocsDir(kelcore::UTF16String(L"/docs"));
  }
  testsupport::MemoryEnv& fs() { return fs_; }

 private:
  testsupport::MemoryEnv fs_;
  kelabexperiment::platform::ScopedEnv scope_;
};

// A property that must hold for every input; a failure is a finding.
inline void Require(bool property) {
  if (!property) std::abort();
}

}  // namespace fuzz
