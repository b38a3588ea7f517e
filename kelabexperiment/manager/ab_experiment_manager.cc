#include "manager/ab_experiment_manager.h"

#include "base/module_constants.h"
#include "host/kelappsupport.h"
#include "manager/default_value_handler.h"
#include "manager/user_state_path.h"
#include "platform/env.h"
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
    platform::CurrentEnv().PinModule(&anchor);
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
  boost::optional<ExperimentStore> previous;
  previous.swap(store_);
  // One list serves both loops, with the texts the registry keeps.
  const IdentifierRegistry::ExperimentList experiments =
      IdentifierRegistry::Instance().ListExperiments();
  // The previous user's assignments must not answer for the next user (also
  // those of experiments that are not registered), nor may any registered
  // experiment keep an override the next user's file does not give it.
  const auto withdrawAllBut = [&](const RecordMap& kept) {
    FeatureNames names;
    const auto withdraw = [&](const UTF8String& id) {
      if (kept.find(id) == kept.end()) WithdrawOverrides(id, names);
    };
    if (previous) {
      for (const auto& entry : previous->Records()) withdraw(entry.first);
    }
    for (const auto* experiment : experiments) withdraw(experiment->text);
  };
  try {
    CheckUserIdentifier(quillUserID);
    store_.emplace(GetUserStateFilePath(quillUserID.ToString()), ExperimentStore::OnLoad::kDefer);
    // Set over the previous values in place, never withdrawn first: a read on
    // another thread sees the old value or the new one, never a fallback of
    // this switch's making.
    store_->ApplyAll();
  } catch (...) {
    store_.reset();
    withdrawAllBut(RecordMap());
    throw;
  }
  withdrawAllBut(store_->Records());

  // The feature service keeps a handler for good, so each feature gets one
  // per process; it reaches whatever store this manager holds when it runs.
  for (const auto* experiment : experiments) {
    UTF8String name = FeatureName(experiment->text, kVariationMember);
    if (watched_.find(name) != watched_.end()) continue;
    kelappsupport::feature::RegisterDefaultValueTakenNotification(
        name,
        [this](UTF8String featureName) { OnDefaultValueTaken(this, std::move(featureName)); });
    watched_.insert(std::move(name));
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
    // A fallback only says that no assignment answered when the feature was
    // read; it fills a gap and never replaces an assignment stored since.
    store_->Merge(experimentId, kForcedVariationPayload, kForcedIdentifiersPayload,
                  ExperimentStore::MergeMode::kFillGap);
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
