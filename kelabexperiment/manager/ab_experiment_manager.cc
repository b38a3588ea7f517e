#include "manager/ab_experiment_manager.h"

#include "api/process_singleton.h"

namespace kelabexperiment {

ABExperimentManager& ABExperimentManager::Instance() {
  return ProcessSingleton<ABExperimentManager>();
}

int ABExperimentManager::Initialize(const ImmutableString& /*quillUserID*/,
                                    const ImmutableString& /*deviceType*/,
                                    const ImmutableString& /*storeType*/, bool /*freeUser*/) {
  esdkInitializeComplete_ = false;
  updateReceived_ = false;
  return kInitializeResult;
}

}  // namespace kelabexperiment
