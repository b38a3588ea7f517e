#include "manager/default_value_handler.h"

#include <boost/bind/bind.hpp>
#include <boost/function.hpp>

#include "base/module_constants.h"
#include "base/text_compare.h"
#include "kelcore/string/conversions.h"
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
  if (featureName.size() > suffix.size()) {
    const std::size_t stem = featureName.size() - suffix.size();
    if (featureName.compare(stem, suffix.size(), suffix) == 0) {
      if (auto exact = registry.FindExperiment(featureName.substr(0, stem))) return exact->Text();
    }
    if (EqualsIgnoreCase(featureName.substr(stem), suffix)) {
      if (auto folded = registry.FindExperimentIgnoringCase(featureName.substr(0, stem))) {
        return folded->Text();
      }
    }
  }
  // Otherwise the first experiment, in handle order, named anywhere in it. An
  // empty identifier names no experiment, so it never matches.
  const UTF8String upperName = UpperCased(featureName);
  for (const ImmutableString& id : registry.CopyExperiments()) {
    if (!id.Text().empty() && upperName.find(UpperCased(id.Text())) != UTF8String::npos) {
      return id.Text();
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
