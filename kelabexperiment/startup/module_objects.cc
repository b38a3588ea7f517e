// The module's registrations with the host, in one translation unit so that
// they are made in this order at load and taken back in reverse at unload:
// the start-up registration, then the script definition registrar.

#include <exception>
#include <optional>

#include "base/module_refusal.h"
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

// Both registrations, or (for a copy the host refuses) neither. Nothing may
// leave a load-time constructor: an exception there ends the host process,
// so a refusal makes this copy inert instead (RefuseThisModule).
class ModuleRegistrations {
 public:
  ModuleRegistrations() noexcept {
    try {
      initializer_.emplace();
      // Hands the host the script class "ABExperimentScript"; made last, so
      // that it is taken back first at unload.
      scriptRegistrar_.emplace(new scripting::ABExperimentScriptInitiator);
    } catch (const std::exception& e) {
      initializer_.reset();
      RefuseThisModule(e.what());
    } catch (...) {
      initializer_.reset();
      RefuseThisModule("an unknown error");
    }
  }

 private:
  std::optional<ABExperimentInitializer> initializer_;
  std::optional<kelscripting::factory::ScriptObjectDefinitionRegistrar> scriptRegistrar_;
};

const ModuleRegistrations gRegistrations;

}  // namespace
}  // namespace kelabexperiment
