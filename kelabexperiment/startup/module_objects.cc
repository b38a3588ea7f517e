// Every module-lifetime object, in one translation unit so that they are
// built in this order at load and destroyed in reverse at unload: the
// constants, the start-up registration, then the script definition registrar.

#include "kelcore/config/initializer_registrar.h"
#include "scripting/ab_experiment_script_definition.h"
#include "startup/module_constants.h"

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

namespace {

// Registers the library with the host's start-up registry. The library's own
// state is created lazily by the exports, so initialisation only reports
// success.
class ABExperimentInitializer : public kelcore::config::InitializerRegistrar {
 public:
  ABExperimentInitializer()
      : InitializerRegistrar("kelabexperiment", kelcore::config::kInitializerContextApplication,
                             [this] { return Init(); }, {}, {}, {}) {}

 private:
  bool Init() const { return true; }
};

const ABExperimentInitializer gInitializer;

// Hands the host the script class "ABExperimentScript"; made last, so that
// it is taken back first at unload.
const kelscripting::factory::ScriptObjectDefinitionRegistrar gScriptRegistrar(
    new scripting::ABExperimentScriptInitiator);

}  // namespace
}  // namespace kelabexperiment
