#pragma once

// Texts the manager, the store and the override code compare against and
// build keys from. Built once when the module loads (module_constants.cc) and
// alive until it unloads.

#include "host/kelcore.h"

namespace kelabexperiment {

// Variation texts.
extern const UTF8String kForcedControlText;    // "forced_control"
extern const UTF8String kIntendedControlText;  // "intended_control"
extern const UTF8String kControlText;          // "control"
extern const UTF8String kChallengerText;       // "challenger"
extern const UTF8String kDisqualifiedText;     // "disqualified"

// Record member names; also the suffixes of feature names.
extern const UTF8String kVariationMember;       // "variation"
extern const UTF8String kVariationIdMember;     // "variationId"
extern const UTF8String kChallengerTypeMember;  // "challengerType"
extern const UTF8String kCampaignIdMember;      // "campaignId"

// The payloads of a forced-control update.
extern const UTF8String kForcedVariationPayload;    // {"variation":"forced_control"}
extern const UTF8String kForcedIdentifiersPayload;  // {"variationId":"forced_control"}

extern const UTF8String kFeatureNameSeparator;  // "_"
extern const UTF8String kNoneText;              // "none"

// State-file location.
extern const UTF16String kStateFileName;    // "ABExperiment"
extern const UTF16String kUsersFolderName;  // "Users"

}  // namespace kelabexperiment
