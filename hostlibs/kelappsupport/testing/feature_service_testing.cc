#include "kelappsupport/testing/feature_service_testing.h"

#include <mutex>
#include <new>
#include <utility>

#include "feature_service_observer.h"

namespace kelappsupport::feature {

using internal::CallKind;
using internal::ServiceObserver;

void ResetFeatureService() { internal::ResetService(); }

// Scopes nest: each passes every call on to the observer it replaced.
class ChainedObserver : public ServiceObserver {
 public:
  ChainedObserver() : previous_(internal::SwapObserver(this)) {}
  ~ChainedObserver() override { internal::SwapObserver(previous_); }
  ChainedObserver(const ChainedObserver&) = delete;
  ChainedObserver& operator=(const ChainedObserver&) = delete;

  void BeforeSet() override {
    if (previous_) previous_->BeforeSet();
  }
  void Called(CallKind kind, std::string_view name,
              const std::variant<std::monostate, int, std::string_view>& value,
              OverrideDataCategory category) override {
    if (previous_) previous_->Called(kind, name, value, category);
  }

 private:
  ServiceObserver* const previous_;
};

struct ScopedCallRecorder::Observer final : ChainedObserver {
  void Called(CallKind kind, std::string_view name,
              const std::variant<std::monostate, int, std::string_view>& value,
              OverrideDataCategory category) override {
    FeatureCall call{static_cast<FeatureCall::Kind>(kind), std::string(name), {}, category};
    if (const int* number = std::get_if<int>(&value)) call.value = *number;
    if (const auto* text = std::get_if<std::string_view>(&value)) call.value = std::string(*text);
    {
      std::lock_guard<std::mutex> lock(mutex);
      calls.push_back(std::move(call));
    }
    ChainedObserver::Called(kind, name, value, category);
  }

  mutable std::mutex mutex;
  std::vector<FeatureCall> calls;
};

ScopedCallRecorder::ScopedCallRecorder() : observer_(std::make_unique<Observer>()) {}
ScopedCallRecorder::~ScopedCallRecorder() = default;

std::vector<FeatureCall> ScopedCallRecorder::Calls() const {
  std::lock_guard<std::mutex> lock(observer_->mutex);
  return observer_->calls;
}

struct ScopedSetFailure::Observer final : ChainedObserver {
  explicit Observer(std::size_t sets) : setsLeft(sets) {}
  void BeforeSet() override {
    ChainedObserver::BeforeSet();
    std::lock_guard<std::mutex> lock(mutex);
    if (setsLeft == 0) throw std::bad_alloc();
    --setsLeft;
  }

  std::mutex mutex;
  std::size_t setsLeft;
};

ScopedSetFailure::ScopedSetFailure(std::size_t setsBeforeFailure)
    : observer_(std::make_unique<Observer>(setsBeforeFailure)) {}
ScopedSetFailure::~ScopedSetFailure() = default;

}  // namespace kelappsupport::feature
