#include <functional>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <boost/unordered/unordered_flat_map.hpp>

#include "feature_service_observer.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/feature/feature_overrides.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelcore/threads/mutex.h"

namespace kelappsupport::feature {

namespace {

using kelcore::string::View;
using kelcore::threads::Mutex;
using kelcore::threads::MutexLock;

using internal::CallKind;
using Handler = std::function<void(UTF8String)>;

// Looks names up as they come (a UTF8String's bytes), without building a key.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const noexcept {
    return std::hash<std::string_view>()(name);
  }
};
template <typename Value>
using ByName = boost::unordered_flat_map<std::string, Value, NameHash, std::equal_to<>>;

struct Override {
  std::variant<int, std::string> value;
  OverrideDataCategory category;
};

// Overrides are hashed by name: a host sets up to millions of them at
// start-up and reads features all the time, and nothing needs them in order.
struct Service {
  Mutex mutex;
  ByName<Override> overrides KEL_GUARDED_BY(mutex);
  ByName<std::vector<Handler>> handlers KEL_GUARDED_BY(mutex);
  unsigned int nextRegistration KEL_GUARDED_BY(mutex) = 1;
  internal::ServiceObserver* observer KEL_GUARDED_BY(mutex) = nullptr;
};

Service& TheService() {
  static Service* service = new Service;  // outlives every module's statics
  return *service;
}

// Sets the override of `name`, replacing any other.
void Set(Service& s, const UTF8String& name, std::variant<int, std::string> value,
         OverrideDataCategory category) KEL_REQUIRES(s.mutex) {
  const auto it = s.overrides.find(View(name));
  if (it != s.overrides.end()) {
    it->second = Override{std::move(value), category};
  } else {
    s.overrides.emplace(std::string(View(name)), Override{std::move(value), category});
  }
}

// Tells the observer, when there is one, of a call.
void Tell(Service& s, CallKind kind, const UTF8String& name,
          const std::variant<std::monostate, int, std::string_view>& value = {},
          OverrideDataCategory category = OverrideDataCategory::kUnspecified)
    KEL_REQUIRES(s.mutex) {
  if (s.observer) s.observer->Called(kind, View(name), value, category);
}

// Lets the observer refuse a set before anything changes.
void BeforeSet(Service& s) KEL_REQUIRES(s.mutex) {
  if (s.observer) s.observer->BeforeSet();
}

// Runs the feature's handlers after a read took its default.
void DefaultTaken(const UTF8String& name) {
  std::vector<Handler> handlers;
  {
    Service& s = TheService();
    MutexLock lock(&s.mutex);
    auto it = s.handlers.find(View(name));
    if (it != s.handlers.end()) handlers = it->second;
    Tell(s, CallKind::kDefaultTaken, name);
  }
  for (const Handler& handler : handlers) handler(name);
}

// What a read answers for the value the service holds.
int ReadValue(int value) { return value; }
UTF8String ReadValue(const std::string& text) { return kelcore::string::FromStd(text); }

// The override of `name` when the service holds it as a Stored.
template <typename Stored>
auto FindOverride(const UTF8String& name) -> std::optional<decltype(ReadValue(Stored()))> {
  Service& s = TheService();
  MutexLock lock(&s.mutex);
  const auto it = s.overrides.find(View(name));
  if (it == s.overrides.end()) return std::nullopt;
  if (const Stored* value = std::get_if<Stored>(&it->second.value)) return ReadValue(*value);
  return std::nullopt;
}

}  // namespace

void SetOverrideData(const UTF8String& featureName, int value, OverrideDataCategory category) {
  Service& s = TheService();
  MutexLock lock(&s.mutex);
  BeforeSet(s);
  Set(s, featureName, value, category);
  Tell(s, CallKind::kSetInt, featureName, value, category);
}

void SetOverrideStringData(const UTF8String& featureName, UTF8String value,
                           OverrideDataCategory category) {
  Service& s = TheService();
  MutexLock lock(&s.mutex);
  BeforeSet(s);
  Set(s, featureName, std::string(View(value)), category);
  Tell(s, CallKind::kSetString, featureName, View(value), category);
}

void RemoveOverride(const UTF8String& featureName) {
  Service& s = TheService();
  MutexLock lock(&s.mutex);
  if (const auto it = s.overrides.find(View(featureName)); it != s.overrides.end()) {
    s.overrides.erase(it);
  }
  Tell(s, CallKind::kRemove, featureName);
}

unsigned int RegisterDefaultValueTakenNotification(const UTF8String& featureName,
                                                   std::function<void(UTF8String)> handler) {
  Service& s = TheService();
  MutexLock lock(&s.mutex);
  s.handlers[std::string(View(featureName))].push_back(std::move(handler));
  Tell(s, CallKind::kRegister, featureName);
  const unsigned int number = s.nextRegistration++;
  if (s.nextRegistration == 0) s.nextRegistration = 1;
  return number;
}

FeatureRead<int> ReadIntFeature(const UTF8String& featureName, int defaultValue) {
  if (auto value = FindOverride<int>(featureName)) return {*value, true};
  DefaultTaken(featureName);
  return {defaultValue, false};
}

FeatureRead<UTF8String> ReadStringFeature(const UTF8String& featureName,
                                          const UTF8String& defaultValue) {
  if (auto value = FindOverride<std::string>(featureName)) return {std::move(*value), true};
  DefaultTaken(featureName);
  return {defaultValue, false};
}

std::map<std::string, OverrideValue> SnapshotOverrides() {
  Service& s = TheService();
  MutexLock lock(&s.mutex);
  std::map<std::string, OverrideValue> snapshot;
  for (const auto& [name, entry] : s.overrides) {
    OverrideValue value{0, entry.category};
    std::visit([&](const auto& held) { value.value = held; }, entry.value);
    snapshot.emplace(name, std::move(value));
  }
  return snapshot;
}

std::size_t CountNotifications(const UTF8String& featureName) {
  Service& s = TheService();
  MutexLock lock(&s.mutex);
  auto it = s.handlers.find(View(featureName));
  return it == s.handlers.end() ? 0 : it->second.size();
}

namespace internal {

ServiceObserver* SwapObserver(ServiceObserver* observer) {
  Service& s = TheService();
  MutexLock lock(&s.mutex);
  return std::exchange(s.observer, observer);
}

void ResetService() {
  Service& s = TheService();
  MutexLock lock(&s.mutex);
  s.overrides = {};  // gives the memory back
  s.handlers = {};
}

}  // namespace internal
}  // namespace kelappsupport::feature
