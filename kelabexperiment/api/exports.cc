// The library's exported functions: each fetches its singleton and forwards.

#include "kelabexperiment/kelabexperiment.h"
#include "manager/ab_experiment_manager.h"
#include "registry/identifier_registry.h"

namespace kelabexperiment {

int Initialize(const ImmutableString& quillUserID, const ImmutableString& deviceType,
               const ImmutableString& storeType, bool freeUser) {
  return ABExperimentManager::Instance().Initialize(quillUserID, deviceType, storeType, freeUser);
}

bool IsESDKInitializeComplete() {
  return ABExperimentManager::Instance().IsESDKInitializeComplete();
}

void RegisterExperimentIdentifier(const ImmutableString& experimentId) {
  IdentifierRegistry::Instance().RegisterExperiment(experimentId);
}

void RegisterMessagingIdentifier(const ImmutableString& messagingId) {
  IdentifierRegistry::Instance().RegisterMessaging(messagingId);
}

ImmutableStringSet GetRegisteredExperimentIdentifiers() {
  return IdentifierRegistry::Instance().CopyExperiments();
}

}  // namespace kelabexperiment
