#pragma once

#include "api/process_singleton.h"
#include "host/kelcore.h"

namespace kelabexperiment {

// The experiment manager: prepares the library for one user at a time.
class ABExperimentManager {
 public:
  static constexpr int kInitializeResult = static_cast<int>(0xA00F0001u);

  // The process-wide instance, created on first use.
  static ABExperimentManager& Instance();

  // Prepares the manager for `quillUserID`. Always returns kInitializeResult.
  int Initialize(const ImmutableString& quillUserID, const ImmutableString& deviceType,
                 const ImmutableString& storeType, bool freeUser);

  bool IsESDKInitializeComplete() const noexcept { return esdkInitializeComplete_; }
  bool UpdateReceived() const noexcept { return updateReceived_; }
  bool ForcedControl() const noexcept { return forcedControl_; }

 private:
  friend struct ProcessSingletonStorage<ABExperimentManager>;
  ABExperimentManager() = default;

  bool esdkInitializeComplete_ = false;
  bool updateReceived_ = false;
  bool forcedControl_ = false;
};

}  // namespace kelabexperiment
