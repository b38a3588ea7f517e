#include "scripting/ab_experiment_script_definition.h"

#include <exception>
#include <tuple>

namespace kelscripting::definition {

namespace {

using kelabexperiment::scripting::ABExperimentScriptObject;

// Method flag of initialize; leaves it running on the caller's thread.
constexpr ScriptObjectDefinitionBase::Flags kInitializeMethodFlags = 0x80000;

}  // namespace

template <>
void ScriptObjectDefinition<ABExperimentScriptObject>::DefineMembers() {
  const ScriptDefinitionContext context(this);
  try {
    if (auto* current =
            dynamic_cast<ScriptObjectDefinitionBaseT<ABExperimentScriptObject>*>(sCurrent.Get())) {
      current->AddOrModifyNamespace(kelcore::string::FromStd("kelabexperiment"), 0);
    }
    AddMethod("initialize",
              std::make_tuple(
                  ParameterType<UTF8String>("quillUserID"), ParameterType<UTF8String>("deviceType"),
                  ParameterType<UTF8String>("storeType"), ParameterType<bool>("freeUser")),
              PropertyType<bool>(), &ABExperimentScriptObject::initialize, false,
              kInitializeMethodFlags, "called to Initialize", 0);
  } catch (const std::exception&) {
    // The host refused a declaration: the class is registered without it.
  }
}

}  // namespace kelscripting::definition
