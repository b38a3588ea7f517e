#pragma once

#include <optional>
#include <string>

#include "kelcore/debug/debug_database.h"
#include "kelcore/string/conversions.h"

namespace testsupport {

// Sets the debug database's entry `key` to `value` for the object's lifetime
// (std::nullopt removes it), as a host's settings would; on destruction
// puts back what the entry held before, or removes it when there was none.
// Thread-safe as the database is, but changes the whole process.
class ScopedDebugEntry {
 public:
  ScopedDebugEntry(const std::string& key, const std::optional<std::string>& value)
      : key_(kelcore::string::FromStd(key)), previous_(Read(key_)) {
    Write(value);
  }
  ~ScopedDebugEntry() { Write(previous_); }
  ScopedDebugEntry(const ScopedDebugEntry&) = delete;
  ScopedDebugEntry& operator=(const ScopedDebugEntry&) = delete;

 private:
  static kelcore::debug::DebugDatabase& Database() {
    return kelcore::debug::DebugDatabase::Instance();
  }
  // The entry's text, or nullopt when there is none: an entry answers the
  // same to two different fallbacks, a missing one does not.
  static std::optional<std::string> Read(const kelcore::UTF8String& key) {
    const kelcore::UTF8String zero = Database().GetEntry(key, kelcore::string::FromStd("0"));
    if (Database().GetEntry(key, kelcore::string::FromStd("1")) != zero) return std::nullopt;
    return kelcore::string::ToStd(zero);
  }
  void Write(const std::optional<std::string>& value) const {
    if (value) {
      Database().SetEntry(key_, kelcore::string::FromStd(*value));
    } else {
      Database().RemoveEntry(key_);
    }
  }

  kelcore::UTF8String key_;
  std::optional<std::string> previous_;
};

}  // namespace testsupport
