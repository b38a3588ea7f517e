#include "manager/default_value_handler.h"

#include <boost/bind/bind.hpp>
#include <boost/function.hpp>

#include "base/module_constants.h"
#include "base/text_compare.h"
#include "kelscripting/threads/ui_thread.h"
#include "manager/ab_experiment_manager.h"
#include "registry/identifier_registry.h"

namespace kelabexperiment {

UTF8String FindExperimentForFeature(const UTF8String& featureName) {
  const IdentifierRegistry& registry = IdentifierRegistry::Instance();
  // The usual case, answered by lookup: the name is a registered
  // experiment's variation feature, byte for byte; failing that, ignoring
  // letter case (so that of "EXP" and "exp", each gets its own fallback).
  const UTF8String suffix = kFeatureNameSeparator + kVariationMember;
  const std::string_view name = kelcore::string::View(featureName);
  if (featureName.size() > suffix.size()) {
    const std::size_t stem = featureName.size() - suffix.size();
    if (featureName.compare(stem, suffix.size(), suffix) == 0) {
      if (const auto* exact = registry.FindExperiment(name.substr(0, stem))) return exact->text;
    }
    if (EqualsIgnoreCase(name.substr(stem), kelcore::string::View(suffix))) {
      if (const auto* folded = registry.FindExperimentIgnoringCase(name.substr(0, stem))) {
        return folded->text;
      }
    }
  }
  // Otherwise the first experiment, in handle order, named anywhere in it. An
  // empty identifier names no experiment, so it never matches.
  const UTF8String upperName = UpperCased(featureName);
  for (const auto* experiment : registry.ListExperiments()) {
    if (!experiment->text.empty() && upperName.find(experiment->upperText) != UTF8String::npos) {
      return experiment->text;
    }
  }
  return UTF8String();
}

void OnDefaultValueTaken(ABExperimentManager* manager, UTF8String featureName) {
  const UTF8String experimentId = FindExperimentForFeature(featureName);
  if (experimentId.empty()) return;
  const boost::function<void()> update =
      boost::bind(&ABExperimentManager::UpdateInSession, manager, manager->CurrentSession(),
                  DataSourceType::DefaultValueTaken, experimentId, kForcedVariationPayload,
                  kForcedIdentifiersPayload);
  kelscripting::threads::CallFunctionOnUIThread(update);
}

}  // namespace kelabexperiment
