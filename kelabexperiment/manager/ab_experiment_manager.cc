#include "manager/ab_experiment_manager.h"

#include <vector>

#include "base/module_constants.h"
#include "host/kelappsupport.h"
#include "kelcore/config/module_pin.h"
#include "manager/default_value_handler.h"
#include "manager/user_state_path.h"
#include "registry/identifier_registry.h"
#include "store/feature_overrides.h"

namespace kelabexperiment {

ABExperimentManager& ABExperimentManager::Instance() {
  return ProcessSingleton<ABExperimentManager>();
}

int ABExperimentManager::Initialize(const ImmutableString& quillUserID,
                                    const ImmutableString& /*deviceType*/,
                                    const ImmutableString& /*storeType*/, bool /*freeUser*/) {
  // The handlers registered below outlive any unloading of this module.
  static const bool pinned = [] {
    static const char anchor = 0;
    kelcore::config::PinModuleContaining(&anchor);
    return true;
  }();
  (void)pinned;
  MutexLock lock(&mutex_);
  // Odd while the switch runs: a fallback reported now may stem from an
  // override withdrawn a moment ago, so no update queued meanwhile counts.
  session_.fetch_add(1, std::memory_order_acq_rel);
  struct SessionSettled {
    std::atomic<Session>& session;
    ~SessionSettled() { session.fetch_add(1, std::memory_order_acq_rel); }
  } settled{session_};
  esdkInitializeComplete_ = false;
  updateReceived_ = false;
  // The previous user's assignments must not answer for the next user, also
  // for experiments that are not registered.
  FeatureNames names;
  if (store_) {
    for (const auto& entry : store_->Records()) WithdrawOverrides(entry.first, names);
    store_.reset();
  }
  // One copy serves both loops: copying the set is a node allocation per
  // experiment.
  const ImmutableStringSet experiments = IdentifierRegistry::Instance().CopyExperiments();
  for (const ImmutableString& id : experiments) WithdrawOverrides(id.Text(), names);

  CheckUserIdentifier(quillUserID.Text());
  store_.emplace(GetUserStateFilePath(quillUserID.ToString()));

  std::vector<UTF8String> watched;
  watched.reserve(experiments.size());
  for (const ImmutableString& id : experiments) {
    watched.push_back(FeatureName(id.Text(), kVariationMember));
  }
  for (const UTF8String& name : watched) {
    kelappsupport::feature::RegisterDefaultValueTakenNotification(
        name,
        [this](UTF8String featureName) { OnDefaultValueTaken(this, std::move(featureName)); });
  }
  return kInitializeResult;
}

void ABExperimentManager::UpdateInSession(Session session, DataSourceType type,
                                          const UTF8String& experimentId,
                                          const UTF8String& variationPayload,
                                          const UTF8String& identifiersPayload) {
  MutexLock lock(&mutex_);
  if (session != session_.load(std::memory_order_relaxed)) return;
  Update(type, experimentId, variationPayload, identifiersPayload);
}

void ABExperimentManager::UpdateFromDataSource(DataSourceType type, const UTF8String& experimentId,
                                               const UTF8String& variationPayload,
                                               const UTF8String& identifiersPayload) {
  MutexLock lock(&mutex_);
  Update(type, experimentId, variationPayload, identifiersPayload);
}

void ABExperimentManager::Update(DataSourceType type, const UTF8String& experimentId,
                                 const UTF8String& variationPayload,
                                 const UTF8String& identifiersPayload) {
  if (!(updateReceived_ && forcedControl_)) {
    updateReceived_ = true;
    forcedControl_ = type == DataSourceType::DefaultValueTaken;
  }
  if (!store_) return;
  if (forcedControl_) {
    store_->Merge(experimentId, kForcedVariationPayload, kForcedIdentifiersPayload);
  } else {
    store_->Merge(experimentId, variationPayload, identifiersPayload);
  }
}

bool ABExperimentManager::IsESDKInitializeComplete() const {
  MutexLock lock(&mutex_);
  return esdkInitializeComplete_;
}

bool ABExperimentManager::UpdateReceived() const {
  MutexLock lock(&mutex_);
  return updateReceived_;
}

bool ABExperimentManager::ForcedControl() const {
  MutexLock lock(&mutex_);
  return forcedControl_;
}

}  // namespace kelabexperiment
