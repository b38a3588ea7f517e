// The module constants. No object built at load reads them, so their order
// against the registrations in module_objects.cc does not matter.

#include "base/module_constants.h"
#include "kelcore/string/conversions.h"

namespace kelabexperiment {

namespace {
UTF8String Text(const char* literal) { return kelcore::string::FromStd(literal); }
UTF16String Wide(const char* literal) {
  return kelcore::string::AsciiToUTF16(literal, std::char_traits<char>::length(literal));
}
}  // namespace

const UTF8String kForcedControlText = Text("forced_control");
const UTF8String kIntendedControlText = Text("intended_control");
const UTF8String kControlText = Text("control");
const UTF8String kChallengerText = Text("challenger");
const UTF8String kDisqualifiedText = Text("disqualified");
const UTF8String kVariationMember = Text("variation");
const UTF8String kVariationIdMember = Text("variationId");
const UTF8String kChallengerTypeMember = Text("challengerType");
const UTF8String kCampaignIdMember = Text("campaignId");

const UTF8String kForcedVariationPayload = Text("{\"variation\":\"forced_control\"}");
const UTF8String kForcedIdentifiersPayload = Text("{\"variationId\":\"forced_control\"}");

const UTF8String kFeatureNameSeparator = Text("_");
const UTF8String kNoneText = Text("none");

const UTF16String kStateFileName = Wide("ABExperiment");
const UTF16String kUsersFolderName = Wide("Users");

}  // namespace kelabexperiment
