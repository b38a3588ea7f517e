#pragma once

#include "host/kelcore.h"

namespace kelabexperiment {

// Debug-database keys of the two registration switches.
inline constexpr const char* kExperimentsSwitchKey = "ABExperiment.enable";
inline constexpr const char* kMessagingSwitchKey = "InAppMessaging.enable";

// Reads one switch: on only when the database's text for `key` (or the text
// of `defaultOn` when there is no entry) is exactly "true", byte for byte.
bool ReadFeatureSwitch(const char* key, bool defaultOn);

}  // namespace kelabexperiment
