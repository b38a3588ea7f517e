// The library's exported functions: each fetches its singleton and forwards
// (unless the host refused this copy of the module).

#include "base/module_refusal.h"
#include "kelabexperiment/kelabexperiment.h"
#include "manager/ab_experiment_manager.h"
#include "registry/identifier_registry.h"

namespace kelabexperiment {

int Initialize(const ImmutableString& quillUserID, const ImmutableString& deviceType,
               const ImmutableString& storeType, bool freeUser) {
  ThrowIfModuleRefused();
  return ABExperimentManager::Instance().Initialize(quillUserID, deviceType, storeType, freeUser);
}

bool IsESDKInitializeComplete() {
  ThrowIfModuleRefused();
  return ABExperimentManager::Instance().IsESDKInitializeComplete();
}

void RegisterExperimentIdentifier(const ImmutableString& experimentId) {
  ThrowIfModuleRefused();
  IdentifierRegistry::Instance().RegisterExperiment(experimentId);
}

void RegisterMessagingIdentifier(const ImmutableString& messagingId) {
  ThrowIfModuleRefused();
  IdentifierRegistry::Instance().RegisterMessaging(messagingId);
}

ImmutableStringSet GetRegisteredExperimentIdentifiers() {
  ThrowIfModuleRefused();
  return IdentifierRegistry::Instance().CopyExperiments();
}

}  // namespace kelabexperiment
