#pragma once

#include "host/kelcore.h"

namespace kelabexperiment {

class ABExperimentManager;

// The registered experiment a reported feature name belongs to, as its
// registered text: first the experiment whose variation feature name
// (identifier, "_", "variation") is `featureName` byte for byte; then the one
// whose variation feature name equals it ignoring letter case;
// failing that, the first experiment in handle order whose identifier occurs
// anywhere in the name, ignoring letter case. Empty when none does; an empty
// identifier never matches.
// Thread-safe (reads the registry under its lock).
UTF8String FindExperimentForFeature(const UTF8String& featureName);

// The handler registered for each watched variation feature: maps the name
// to an experiment and queues a forced-control update of `manager` for the
// UI thread, in the manager's current session (dropped if another
// Initialize runs before the UI thread gets to it). Queues nothing when no registered experiment
// matches. Runs on the feature service's thread and changes no state itself.
void OnDefaultValueTaken(ABExperimentManager* manager, UTF8String featureName);

}  // namespace kelabexperiment
