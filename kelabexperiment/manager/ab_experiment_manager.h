#pragma once

#include <atomic>
#include <cstdint>
#include <set>

#include <boost/optional.hpp>

#include "base/process_singleton.h"
#include "host/kelcore.h"
#include "manager/data_source_type.h"
#include "store/experiment_store.h"

namespace kelabexperiment {

// The experiment manager: prepares the library for one user at a time and
// merges updates into that user's store.
//
// Thread-safe. Its lock runs Initialize (on the caller's thread), the updates
// (on the UI thread) and the state reads one after the other, each whole;
// only CurrentSession is read without it. Feature reads never wait for it:
// OnDefaultValueTaken only queues an update. This is the threading contract
// of kelabexperiment.h.
class ABExperimentManager {
 public:
  static constexpr int kInitializeResult = static_cast<int>(0xA00F0001u);

  // The process-wide instance, created on first use.
  static ABExperimentManager& Instance();

  // Only Instance and tests construct managers.
  // REQUIRES (tests): the manager outlives every handler it registers and
  // every update it queues, e.g. by resetting the feature service and running
  // the UI queue before destroying it.
  ABExperimentManager() = default;
  ABExperimentManager(const ABExperimentManager&) = delete;
  ABExperimentManager& operator=(const ABExperimentManager&) = delete;

  // Prepares the manager for `quillUserID`:
  //  1. clears the flags;
  //  2. checks the identifier (CheckUserIdentifier) and locates the state
  //     file, creating folders and an empty file when missing (an empty
  //     identifier means no file), as an absolute path fixed for the session;
  //  3. loads the user's store and sets its records' overrides over whatever
  //     the previous user's were, in place;
  //  4. withdraws the four overrides (variation, challengerType, variationId,
  //     campaignId) of every experiment the previous user's store held or
  //     that is registered, unless the new store has a record for it, and
  //     drops the previous store (unwritten);
  //  5. registers a default-value handler for each registered experiment's
  //     variation feature that has none from this manager yet (the host
  //     offers no withdrawal, so one per feature for the process's life).
  // So a read on another thread during the switch sees the previous user's
  // value, the new one, or (for an experiment the new user has no record of)
  // the default; a fallback it reports can only fill a gap, never change a
  // stored assignment.
  // `deviceType`, `storeType` and `freeUser` are unused. Returns
  // kInitializeResult. Throws InvalidUserIdentifierError, the store's load
  // error and host errors; every override of step 4 is then withdrawn
  // (none of the failed store's stays set), and the manager has no store.
  // Every call starts a new session (CurrentSession): updates queued before
  // it are dropped. The first call pins the module in memory, since the
  // handlers it hands to the feature service cannot be withdrawn.
  int Initialize(const ImmutableString& quillUserID, const ImmutableString& deviceType,
                 const ImmutableString& storeType, bool freeUser) KEL_EXCLUDES(mutex_);

  // Identifies the time after one Initialize: 0 before the first, then two
  // more for each (odd while an Initialize runs). An update queued for the UI
  // thread carries the session it was queued in.
  using Session = std::uint64_t;
  // Thread-safe, lock-free: the feature service's thread reads it when it
  // queues.
  Session CurrentSession() const noexcept { return session_.load(std::memory_order_acquire); }

  // UpdateFromDataSource, for an update queued in `session`: dropped when
  // it was queued while an Initialize ran or another has run since, so that
  // neither the previous user's update nor a fallback seen mid-switch
  // reaches the next user's file.
  void UpdateInSession(Session session, DataSourceType type, const UTF8String& experimentId,
                       const UTF8String& variationPayload, const UTF8String& identifiersPayload)
      KEL_EXCLUDES(mutex_);

  // Takes one update. The first DefaultValueTaken update since Initialize
  // turns forced control on, and from then on every update merges the
  // forced-control payloads instead of its own, filling a gap only
  // (ExperimentStore::MergeMode::kFillGap). Merges only when a store is
  // present. Store errors pass through; the flags stay set.
  void UpdateFromDataSource(DataSourceType type, const UTF8String& experimentId,
                            const UTF8String& variationPayload,
                            const UTF8String& identifiersPayload) KEL_EXCLUDES(mutex_);

  bool IsESDKInitializeComplete() const KEL_EXCLUDES(mutex_);

  // For hosts that show the state, and for tests.
  bool UpdateReceived() const KEL_EXCLUDES(mutex_);
  bool ForcedControl() const KEL_EXCLUDES(mutex_);
  // Calls `visit` with the current store (null before the first successful
  // Initialize), under the manager's lock; the pointer is valid only inside.
  template <typename Visit>
  auto WithStore(Visit&& visit) const KEL_EXCLUDES(mutex_) {
    MutexLock lock(&mutex_);
    return visit(store_ ? &*store_ : nullptr);
  }

 private:
  // UpdateFromDataSource's work, for callers that hold the lock.
  void Update(DataSourceType type, const UTF8String& experimentId,
              const UTF8String& variationPayload, const UTF8String& identifiersPayload)
      KEL_REQUIRES(mutex_);

  mutable Mutex mutex_;
  std::atomic<Session> session_{0};  // written under mutex_, read without it
  bool esdkInitializeComplete_ KEL_GUARDED_BY(mutex_) = false;
  bool updateReceived_ KEL_GUARDED_BY(mutex_) = false;
  bool forcedControl_ KEL_GUARDED_BY(mutex_) = false;
  boost::optional<ExperimentStore> store_ KEL_GUARDED_BY(mutex_);
  // The variation features this manager has a handler registered for.
  std::set<UTF8String, std::less<UTF8String>, STLAllocator<UTF8String>> watched_
      KEL_GUARDED_BY(mutex_);
};

}  // namespace kelabexperiment
