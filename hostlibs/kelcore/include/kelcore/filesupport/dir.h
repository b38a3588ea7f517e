#pragma once

#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"

namespace kelcore::filesupport {

#ifdef _WIN32
inline constexpr wchar_t kPathSeparator = L'\\';
#else
inline constexpr wchar_t kPathSeparator = L'/';
#endif

// A directory path. Cheap to copy; nothing touches the disk until asked.
class KELCORE_EXPORT Dir {
 public:
  explicit Dir(UTF16String path);
  // `name` inside `parent`. `name` is one path component, used unchanged.
  Dir(const Dir& parent, const UTF16String& name);

  // The current user's documents folder: the folder given by the last
  // SetUserDocsDir, else by the environment variable KEL_USER_DOCS_DIR (UTF-8
  // where the environment holds bytes), else the platform's convention
  // (Windows: the Documents known folder; elsewhere the XDG documents folder,
  // else $HOME/Documents).
  static Dir UserDocsDir();
  // Points UserDocsDir at `path` for the whole process; an empty path undoes
  // it. Thread-safe.
  static void SetUserDocsDir(const UTF16String& path);

  bool Exists() const;  // true only for an existing directory
  // Creates the directory and any missing parents; throws FileError.
  void Create() const;
  const UTF16String& FullPath() const noexcept { return path_; }

 private:
  UTF16String path_;
};

}  // namespace kelcore::filesupport
