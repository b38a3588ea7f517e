#pragma once

#include <map>

#include <boost/optional.hpp>

#include "host/kelcore.h"
#include "kelabexperiment/kelabexperiment.h"

namespace kelabexperiment {

// The experiment and in-app message identifiers that host code registered,
// and the two switches that gate registration (read once, at creation).
//
// Thread-safe: the sets are guarded, since the default-value-taken handler
// copies them on the feature service's thread while host code may register
// on another. Identifiers are never removed.
class IdentifierRegistry {
 public:
  // The process-wide instance, created on first use (the switches are read
  // then). A failed creation is retried by the next call.
  static IdentifierRegistry& Instance();

  // Reads both switches from the debug database, experiments first. Only
  // Instance and tests construct registries.
  IdentifierRegistry();

  // Insert a copy of `id` when the kind's switch is on and no equal
  // identifier is present.
  void RegisterExperiment(const ImmutableString& id) KEL_EXCLUDES(mutex_);
  void RegisterMessaging(const ImmutableString& id) KEL_EXCLUDES(mutex_);

  // Copies, in handle order, taken at the moment of the call.
  ImmutableStringSet CopyExperiments() const KEL_EXCLUDES(mutex_);
  ImmutableStringSet CopyMessaging() const KEL_EXCLUDES(mutex_);

  // The experiment whose text is `text`, byte for byte. Does not copy the set.
  boost::optional<ImmutableString> FindExperiment(const UTF8String& text) const
      KEL_EXCLUDES(mutex_);
  // The first experiment, in handle order, whose text equals `text` when
  // both are upper-cased byte by byte. Does not copy the set.
  boost::optional<ImmutableString> FindExperimentIgnoringCase(const UTF8String& text) const
      KEL_EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  ImmutableStringSet experimentIdentifiers_ KEL_GUARDED_BY(mutex_);
  ImmutableStringSet messagingIdentifiers_ KEL_GUARDED_BY(mutex_);
  using ExperimentsByText = std::map<UTF8String, ImmutableString, std::less<UTF8String>,
                                     STLAllocator<std::pair<const UTF8String, ImmutableString>>>;
  // Text -> the experiment with that text.
  ExperimentsByText experimentsByText_ KEL_GUARDED_BY(mutex_);
  // Upper-cased text -> the experiment of lowest handle with that text.
  ExperimentsByText experimentsByUpperText_ KEL_GUARDED_BY(mutex_);
  const bool experimentsEnabled_;
  const bool messagingEnabled_;
};

}  // namespace kelabexperiment
