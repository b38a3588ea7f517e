#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/feature/feature_overrides.h"
#include "kelappsupport/feature/feature_reads.h"

namespace kelappsupport::feature {

struct ScopedCallRecorder::Log {
  std::mutex mutex;
  std::vector<FeatureCall> calls;
};

namespace {

using kelcore::string::ToStd;

using Handler = std::function<void(UTF8String)>;

struct Service {
  std::mutex mutex;
  std::map<std::string, OverrideValue, std::less<>> overrides;
  std::map<std::string, std::vector<Handler>, std::less<>> handlers;
  unsigned int nextRegistration = 1;
  std::shared_ptr<ScopedCallRecorder::Log> recorder;
};

Service& TheService() {
  static Service* service = new Service;  // outlives every module's statics
  return *service;
}

// REQUIRES: the service mutex is held.
void Record(Service& s, FeatureCall call) {
  if (!s.recorder) return;
  std::lock_guard<std::mutex> lock(s.recorder->mutex);
  s.recorder->calls.push_back(std::move(call));
}

void SetOverride(const UTF8String& name, OverrideValue value, FeatureCall call) {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.overrides.insert_or_assign(ToStd(name), std::move(value));
  Record(s, std::move(call));
}

// Runs the feature's handlers after a read took its default.
void DefaultTaken(const UTF8String& name) {
  std::vector<Handler> handlers;
  {
    Service& s = TheService();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.handlers.find(kelcore::string::View(name));
    if (it != s.handlers.end()) handlers = it->second;
    Record(s, {FeatureCall::Kind::kDefaultTaken, ToStd(name), {}});
  }
  for (const Handler& handler : handlers) handler(name);
}

// The override of `name` when it holds a T.
template <typename T>
std::optional<T> FindOverride(const UTF8String& name) {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.overrides.find(kelcore::string::View(name));
  if (it == s.overrides.end()) return std::nullopt;
  if (const T* value = std::get_if<T>(&it->second.value)) return *value;
  return std::nullopt;
}

}  // namespace

void SetOverrideData(const UTF8String& featureName, int value, OverrideDataCategory category) {
  SetOverride(featureName, {value, category},
              {FeatureCall::Kind::kSetInt, ToStd(featureName), value, category});
}

void SetOverrideStringData(const UTF8String& featureName, UTF8String value,
                           OverrideDataCategory category) {
  std::string text = ToStd(value);
  SetOverride(featureName, {text, category},
              {FeatureCall::Kind::kSetString, ToStd(featureName), text, category});
}

void RemoveOverride(const UTF8String& featureName) {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.overrides.find(kelcore::string::View(featureName));
  if (it != s.overrides.end()) s.overrides.erase(it);
  Record(s, {FeatureCall::Kind::kRemove, ToStd(featureName), {}});
}

unsigned int RegisterDefaultValueTakenNotification(const UTF8String& featureName,
                                                   std::function<void(UTF8String)> handler) {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.handlers[ToStd(featureName)].push_back(std::move(handler));
  Record(s, {FeatureCall::Kind::kRegister, ToStd(featureName), {}});
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
  if (auto value = FindOverride<std::string>(featureName)) {
    return {kelcore::string::FromStd(*value), true};
  }
  DefaultTaken(featureName);
  return {defaultValue, false};
}

std::map<std::string, OverrideValue> SnapshotOverrides() {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mutex);
  return {s.overrides.begin(), s.overrides.end()};
}

std::size_t CountNotifications(const UTF8String& featureName) {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.handlers.find(kelcore::string::View(featureName));
  return it == s.handlers.end() ? 0 : it->second.size();
}

void ResetFeatureService() {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.overrides.clear();
  s.handlers.clear();
}

ScopedCallRecorder::ScopedCallRecorder() : log_(std::make_shared<Log>()) {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mutex);
  previous_ = std::exchange(s.recorder, log_);
}

ScopedCallRecorder::~ScopedCallRecorder() {
  Service& s = TheService();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.recorder = previous_;
}

std::vector<FeatureCall> ScopedCallRecorder::Calls() const {
  std::lock_guard<std::mutex> lock(log_->mutex);
  return log_->calls;
}

}  // namespace kelappsupport::feature
