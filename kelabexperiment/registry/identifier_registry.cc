#include "registry/identifier_registry.h"

#include "base/process_singleton.h"

#include "base/text_compare.h"
#include "kelcore/string/conversions.h"
#include "registry/feature_switches.h"

namespace kelabexperiment {

IdentifierRegistry& IdentifierRegistry::Instance() {
  return ProcessSingleton<IdentifierRegistry>();
}

IdentifierRegistry::IdentifierRegistry()
    : experimentsEnabled_(ReadFeatureSwitch(kExperimentsSwitchKey, true)),
      messagingEnabled_(ReadFeatureSwitch(kMessagingSwitchKey, true)) {}

void IdentifierRegistry::RegisterExperiment(const ImmutableString& id) {
  if (!experimentsEnabled_) return;
  UTF8String upper = UpperCased(id.Text());
  MutexLock lock(&mutex_);
  if (!experimentIdentifiers_.insert(id).second) return;
  experimentsByText_.emplace(id.Text(), id);
  auto [it, inserted] = experimentsByUpperText_.emplace(std::move(upper), id);
  if (!inserted && id < it->second) it->second = id;
}

void IdentifierRegistry::RegisterMessaging(const ImmutableString& id) {
  if (!messagingEnabled_) return;
  MutexLock lock(&mutex_);
  messagingIdentifiers_.insert(id);
}

ImmutableStringSet IdentifierRegistry::CopyExperiments() const {
  MutexLock lock(&mutex_);
  return experimentIdentifiers_;
}

boost::optional<ImmutableString> IdentifierRegistry::FindExperiment(const UTF8String& text) const {
  MutexLock lock(&mutex_);
  auto it = experimentsByText_.find(text);
  if (it == experimentsByText_.end()) return boost::none;
  return it->second;
}

boost::optional<ImmutableString> IdentifierRegistry::FindExperimentIgnoringCase(
    const UTF8String& text) const {
  const UTF8String upper = UpperCased(text);
  MutexLock lock(&mutex_);
  auto it = experimentsByUpperText_.find(upper);
  if (it == experimentsByUpperText_.end()) return boost::none;
  return it->second;
}

ImmutableStringSet IdentifierRegistry::CopyMessaging() const {
  MutexLock lock(&mutex_);
  return messagingIdentifiers_;
}

}  // namespace kelabexperiment
