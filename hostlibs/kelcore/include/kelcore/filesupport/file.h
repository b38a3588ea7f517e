#pragma once

#include "kelcore/filesupport/dir.h"
#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"

namespace kelcore::filesupport {

enum class StorageType {
  kLocal = 0,  // a path on a local file system
};

// A regular file's path. Cheap to copy; nothing touches the disk until asked.
class KELCORE_EXPORT File {
 public:
  File(const Dir& dir, const UTF16String& name);
  File(UTF16String path, StorageType type);

  bool Exists() const;  // true only for an existing regular file
  // Creates the file empty when missing. With `exclusive`, an existing file
  // is a failure. Returns whether a file now exists as asked; never throws.
  bool Create(bool exclusive) const;
  bool Delete() const;  // whether the file was removed
  const UTF16String& FullPath() const noexcept { return path_; }

 private:
  UTF16String path_;
};

}  // namespace kelcore::filesupport
