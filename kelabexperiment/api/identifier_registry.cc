#include "api/identifier_registry.h"

#include "api/process_singleton.h"

#include "api/feature_switches.h"

namespace kelabexperiment {

IdentifierRegistry& IdentifierRegistry::Instance() {
  return ProcessSingleton<IdentifierRegistry>();
}

IdentifierRegistry::IdentifierRegistry()
    : experimentsEnabled_(ReadFeatureSwitch(kExperimentsSwitchKey, true)),
      messagingEnabled_(ReadFeatureSwitch(kMessagingSwitchKey, true)) {}

void IdentifierRegistry::RegisterExperiment(const ImmutableString& id) {
  if (!experimentsEnabled_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  experimentIdentifiers_.insert(id);
}

void IdentifierRegistry::RegisterMessaging(const ImmutableString& id) {
  if (!messagingEnabled_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  messagingIdentifiers_.insert(id);
}

ImmutableStringSet IdentifierRegistry::CopyExperiments() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return experimentIdentifiers_;
}

ImmutableStringSet IdentifierRegistry::CopyMessaging() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messagingIdentifiers_;
}

}  // namespace kelabexperiment
