#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"
#include "kelcore/threads/mutex.h"

namespace kelcore::debug {

// The host's key/value settings for diagnostics and feature switches.
//
// The single instance starts empty, then reads the file named by the
// environment variable KEL_DEBUG_DATABASE if it is set (see LoadFromFile).
// Hosts and tests change entries with SetEntry/RemoveEntry/Clear.
// Thread-safe.
class KELCORE_EXPORT DebugDatabase {
 public:
  // Throws kel_exception when the KEL_DEBUG_DATABASE file cannot be read; the
  // next call tries again.
  static DebugDatabase& Instance();

  // The stored text for `key`, else `fallback`.
  UTF8String GetEntry(const UTF8String& key, const UTF8String& fallback) const KEL_EXCLUDES(mutex_);
  void SetEntry(const UTF8String& key, const UTF8String& value) KEL_EXCLUDES(mutex_);
  void RemoveEntry(const UTF8String& key) KEL_EXCLUDES(mutex_);
  void Clear() KEL_EXCLUDES(mutex_);

  // The largest settings file LoadFromFile reads.
  static constexpr std::uint64_t kMaxFileBytes = 1024 * 1024;

  // Adds the entries of a settings file (`path` UTF-8): one "key=value" per
  // line, the key trimmed of blanks, the value taken verbatim up to the line
  // end; blank lines and lines starting with '#' are skipped. Only a regular
  // file of at most kMaxFileBytes is read; anything else at `path` (a FIFO,
  // a device, a folder) is refused at once, without waiting on it. Throws
  // kel_exception naming the file: for a line without '=' or an empty key
  // (with its line number), a file too large or not regular, and a failed
  // read; on error no entry is changed.
  void LoadFromFile(const std::string& path) KEL_EXCLUDES(mutex_);

 private:
  DebugDatabase() = default;

  mutable threads::Mutex mutex_;
  std::map<UTF8String, UTF8String, std::less<void>,
           allocator::STLAllocator<std::pair<const UTF8String, UTF8String>>>
      entries_ KEL_GUARDED_BY(mutex_);
};

}  // namespace kelcore::debug
