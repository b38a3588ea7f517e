#pragma once

#include <map>
#include <string_view>
#include <vector>

#include "host/kelcore.h"
#include "kelabexperiment/kelabexperiment.h"

namespace kelabexperiment {

// The experiment and in-app message identifiers that host code registered,
// and the two switches that gate registration (read once, at creation).
//
// Thread-safe: the sets are guarded, since the default-value-taken handler
// reads them on the feature service's thread while host code may register
// on another. Identifiers are never removed.
class IdentifierRegistry {
 public:
  // A registered experiment with its text, found once at registration so
  // that readers never convert. Never changed or freed while the registry
  // lives, so readers use it without the lock.
  struct Experiment {
    ImmutableString id;
    UTF8String text;       // the identifier's bytes
    UTF8String upperText;  // `text` upper-cased byte by byte (UpperCased)
  };
  // Registered experiments, in handle order.
  using ExperimentList = std::vector<const Experiment*, STLAllocator<const Experiment*>>;

  // The process-wide instance, created on first use (the switches are read
  // then). A failed creation is retried by the next call.
  static IdentifierRegistry& Instance();

  // Reads both switches from the debug database, experiments first. Only
  // Instance and tests construct registries.
  IdentifierRegistry();
  IdentifierRegistry(const IdentifierRegistry&) = delete;
  IdentifierRegistry& operator=(const IdentifierRegistry&) = delete;

  // Insert a copy of `id` when the kind's switch is on and no equal
  // identifier is present. RegisterExperiment throws
  // InvalidExperimentIdentifierError, and inserts nothing, for an
  // identifier that is not valid UTF-8.
  void RegisterExperiment(const ImmutableString& id) KEL_EXCLUDES(mutex_);
  void RegisterMessaging(const ImmutableString& id) KEL_EXCLUDES(mutex_);

  // Copies, in handle order, taken at the moment of the call.
  ImmutableStringSet CopyExperiments() const KEL_EXCLUDES(mutex_);
  ImmutableStringSet CopyMessaging() const KEL_EXCLUDES(mutex_);
  // The experiments registered at the moment of the call, with their texts:
  // one allocation, where a set's copy takes one per experiment.
  ExperimentList ListExperiments() const KEL_EXCLUDES(mutex_);

  // The experiment whose text is `text`, byte for byte; null when none is.
  // Does not copy the set.
  const Experiment* FindExperiment(std::string_view text) const KEL_EXCLUDES(mutex_);
  // The first experiment, in handle order, whose text equals `text` when
  // both are upper-cased byte by byte; null when none does. Does not copy
  // the set.
  const Experiment* FindExperimentIgnoringCase(std::string_view text) const KEL_EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  // Handle order; map nodes stay put, so Experiment pointers stay valid.
  using Experiments = std::map<ImmutableString, Experiment, std::less<ImmutableString>,
                               STLAllocator<std::pair<const ImmutableString, Experiment>>>;
  Experiments experiments_ KEL_GUARDED_BY(mutex_);
  ImmutableStringSet messagingIdentifiers_ KEL_GUARDED_BY(mutex_);
  // Keys view the texts of experiments_.
  using ExperimentsByText =
      std::map<std::string_view, const Experiment*, std::less<std::string_view>,
               STLAllocator<std::pair<const std::string_view, const Experiment*>>>;
  // Text -> the experiment with that text.
  ExperimentsByText experimentsByText_ KEL_GUARDED_BY(mutex_);
  // Upper-cased text -> the experiment of lowest handle with that text.
  ExperimentsByText experimentsByUpperText_ KEL_GUARDED_BY(mutex_);
  const bool experimentsEnabled_;
  const bool messagingEnabled_;
};

}  // namespace kelabexperiment
