#pragma once

#include <map>
#include <mutex>
#include <string>

#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"

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
  UTF8String GetEntry(const UTF8String& key, const UTF8String& fallback) const;
  void SetEntry(const UTF8String& key, const UTF8String& value);
  void RemoveEntry(const UTF8String& key);
  void Clear();

  // Adds the entries of a settings file: one "key=value" per line, the key
  // trimmed of blanks, the value taken verbatim up to the line end; blank
  // lines and lines starting with '#' are skipped. Throws kel_exception naming
  // the file and line for a line without '=' or an empty key, and when the
  // file cannot be read; on error no entry is changed.
  void LoadFromFile(const std::string& path);

 private:
  DebugDatabase() = default;

  mutable std::mutex mutex_;
  std::map<UTF8String, UTF8String, std::less<void>,
           allocator::STLAllocator<std::pair<const UTF8String, UTF8String>>>
      entries_;
};

}  // namespace kelcore::debug
