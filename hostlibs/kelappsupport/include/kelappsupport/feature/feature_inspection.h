#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "kelappsupport/feature/feature_overrides.h"
#include "kelappsupport/kelappsupport_export.h"

namespace kelappsupport::feature {

// A view of the feature service's state, for hosts that show it and for tests.
struct OverrideValue {
  std::variant<int, std::string> value;
  OverrideDataCategory category;
  bool operator==(const OverrideValue& other) const {
    return value == other.value && category == other.category;
  }
};

// Every override set now, by feature name (bytes as std::string).
KELAPPSUPPORT_EXPORT std::map<std::string, OverrideValue> SnapshotOverrides();
// How many default-value-taken handlers are registered for the feature.
KELAPPSUPPORT_EXPORT std::size_t CountNotifications(const UTF8String& featureName);
// Drops every override and every handler.
KELAPPSUPPORT_EXPORT void ResetFeatureService();

// One call into the feature service, as recorded by a ScopedCallRecorder.
struct FeatureCall {
  enum class Kind { kSetInt, kSetString, kRemove, kRegister, kDefaultTaken };
  Kind kind;
  std::string name;
  std::variant<std::monostate, int, std::string> value;
  OverrideDataCategory category = OverrideDataCategory::kUnspecified;
};

// Records, in order, every call that changes the service (and every default
// value taken) while it lives. Recorders must nest. Thread-safe.
class KELAPPSUPPORT_EXPORT ScopedCallRecorder {
 public:
  ScopedCallRecorder();
  ~ScopedCallRecorder();
  ScopedCallRecorder(const ScopedCallRecorder&) = delete;
  ScopedCallRecorder& operator=(const ScopedCallRecorder&) = delete;

  std::vector<FeatureCall> Calls() const;

  struct Log;

 private:
  std::shared_ptr<Log> log_;
  std::shared_ptr<Log> previous_;
};

// While it lives, the override set that comes `setsBeforeFailure` sets after
// its construction, and every one after it, throws std::bad_alloc without
// changing the table: a host's table that cannot grow, for tests of what
// callers undo. Scopes must nest. Thread-safe.
class KELAPPSUPPORT_EXPORT ScopedSetFailure {
 public:
  explicit ScopedSetFailure(std::size_t setsBeforeFailure);
  ~ScopedSetFailure();
  ScopedSetFailure(const ScopedSetFailure&) = delete;
  ScopedSetFailure& operator=(const ScopedSetFailure&) = delete;

 private:
  std::optional<std::size_t> previous_;
};

}  // namespace kelappsupport::feature
