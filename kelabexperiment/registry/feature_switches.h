#pragma once

#include <string>

#include "host/kelcore.h"

namespace kelabexperiment {

// Debug-database keys of the two registration switches.
inline constexpr const char* kExperimentsSwitchKey = "ABExperiment.enable";
inline constexpr const char* kMessagingSwitchKey = "InAppMessaging.enable";

// One switch as the registry reads it, and why it is on or off.
struct FeatureSwitchState {
  bool on = false;
  bool hasEntry = false;  // whether the database holds an entry for the key
  UTF8String text;        // the entry's text, verbatim (empty without an entry)
  // Why it is off, in words ("the text \" true\" has blanks around true; only
  // the exact text true turns it on"); empty when it is on.
  std::string reason;
};

// Reads one switch: on only when the database's text for `key` (or the text
// of `defaultOn` when there is no entry) is exactly "true", byte for byte.
FeatureSwitchState DescribeFeatureSwitch(const char* key, bool defaultOn);

// DescribeFeatureSwitch(key, defaultOn).on.
bool ReadFeatureSwitch(const char* key, bool defaultOn);

}  // namespace kelabexperiment
