// The module's registrations with the host, in one translation unit so that
// they are made in this order at load and taken back in reverse at unload:
// the start-up registration, then the script definition registrar.

#include "kelcore/config/initializer_registrar.h"
#include "scripting/ab_experiment_script_definition.h"

namespace kelabexperiment {
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
