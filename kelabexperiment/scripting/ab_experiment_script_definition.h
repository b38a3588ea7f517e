#pragma once

#include "host/kelscripting.h"
#include "scripting/ab_experiment_script_object.h"

namespace kelscripting::definition {

// Declares the class's members: the script namespace "kelabexperiment" and
// the method initialize(quillUserID, deviceType, storeType, freeUser), which
// runs at once on the calling thread and answers a bool. A host error while
// declaring leaves the class without what was not yet declared.
template <>
void ScriptObjectDefinition<kelabexperiment::scripting::ABExperimentScriptObject>::DefineMembers();

}  // namespace kelscripting::definition

namespace kelabexperiment::scripting {

using ABExperimentScriptDefinition =
    kelscripting::definition::ScriptObjectDefinition<ABExperimentScriptObject>;
using ABExperimentScriptInitiator =
    kelscripting::factory::ScriptObjectDefinitionInitiator<ABExperimentScriptObject>;

}  // namespace kelabexperiment::scripting
