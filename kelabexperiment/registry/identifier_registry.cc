#include "registry/identifier_registry.h"

#include <utility>

#include "base/identifier_text.h"
#include "base/process_singleton.h"
#include "base/text_compare.h"
#include "base/utf8.h"
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
  // Converted outside the lock: readers on the feature service's thread
  // should not wait for it.
  IdentifierText text = TextOfIdentifier(id);
  if (!text.exact) {
    throw InvalidExperimentIdentifierError(
        "experiment identifier \"" + PrintableForMessage(kelcore::string::View(text.text)) +
        "\" is not valid UTF-8 (each ill-formed sequence shown as U+FFFD)");
  }
  UTF8String upper = UpperCased(text.text);
  MutexLock lock(&mutex_);
  const auto [it, inserted] =
      experiments_.try_emplace(id, Experiment{id, std::move(text.text), std::move(upper)});
  if (!inserted) return;
  const Experiment* experiment = &it->second;
  experimentsByText_.emplace(kelcore::string::View(experiment->text), experiment);
  const auto [upperIt, first] =
      experimentsByUpperText_.emplace(kelcore::string::View(experiment->upperText), experiment);
  if (!first && id < upperIt->second->id) upperIt->second = experiment;
}

void IdentifierRegistry::RegisterMessaging(const ImmutableString& id) {
  if (!messagingEnabled_) return;
  MutexLock lock(&mutex_);
  messagingIdentifiers_.insert(id);
}

ImmutableStringSet IdentifierRegistry::CopyExperiments() const {
  MutexLock lock(&mutex_);
  ImmutableStringSet ids;
  for (const auto& entry : experiments_) ids.emplace_hint(ids.end(), entry.first);
  return ids;
}

IdentifierRegistry::ExperimentList IdentifierRegistry::ListExperiments() const {
  MutexLock lock(&mutex_);
  ExperimentList list;
  list.reserve(experiments_.size());
  for (const auto& entry : experiments_) list.push_back(&entry.second);
  return list;
}

const IdentifierRegistry::Experiment* IdentifierRegistry::FindExperiment(
    std::string_view text) const {
  MutexLock lock(&mutex_);
  const auto it = experimentsByText_.find(text);
  return it == experimentsByText_.end() ? nullptr : it->second;
}

const IdentifierRegistry::Experiment* IdentifierRegistry::FindExperimentIgnoringCase(
    std::string_view text) const {
  const UTF8String upper = UpperCased(kelcore::string::FromStd(text));
  MutexLock lock(&mutex_);
  const auto it = experimentsByUpperText_.find(kelcore::string::View(upper));
  return it == experimentsByUpperText_.end() ? nullptr : it->second;
}

ImmutableStringSet IdentifierRegistry::CopyMessaging() const {
  MutexLock lock(&mutex_);
  return messagingIdentifiers_;
}

}  // namespace kelabexperiment
