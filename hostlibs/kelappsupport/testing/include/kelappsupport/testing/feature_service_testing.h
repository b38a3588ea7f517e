#pragma once

// Test support for the feature service: what a test needs to watch the
// service, make its sets fail and start from an empty one. Built only for
// tests, benchmarks and fuzzers (kelappsupport_testing), never installed.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "kelappsupport/feature/feature_overrides.h"

namespace kelappsupport::feature {

// Drops every override and every handler. Changes the whole process.
void ResetFeatureService();

// One call into the feature service, as recorded by a ScopedCallRecorder.
struct FeatureCall {
  enum class Kind { kSetInt, kSetString, kRemove, kRegister, kDefaultTaken };
  Kind kind;
  std::string name;
  std::variant<std::monostate, int, std::string> value;
  OverrideDataCategory category = OverrideDataCategory::kUnspecified;
};

// Records, in order, every call that changes the service (and every default
// value taken) while it lives. Recorders and set-failure scopes must nest.
// Thread-safe.
class ScopedCallRecorder {
 public:
  ScopedCallRecorder();
  ~ScopedCallRecorder();
  ScopedCallRecorder(const ScopedCallRecorder&) = delete;
  ScopedCallRecorder& operator=(const ScopedCallRecorder&) = delete;

  std::vector<FeatureCall> Calls() const;

  struct Observer;

 private:
  std::unique_ptr<Observer> observer_;
};

// While it lives, the override set that comes `setsBeforeFailure` sets after
// its construction, and every one after it, throws std::bad_alloc without
// changing anything: a host whose feature service cannot grow, for tests of
// what callers undo. Nests with recorders and other scopes. Thread-safe.
class ScopedSetFailure {
 public:
  explicit ScopedSetFailure(std::size_t setsBeforeFailure);
  ~ScopedSetFailure();
  ScopedSetFailure(const ScopedSetFailure&) = delete;
  ScopedSetFailure& operator=(const ScopedSetFailure&) = delete;

  struct Observer;

 private:
  std::unique_ptr<Observer> observer_;
};

}  // namespace kelappsupport::feature
