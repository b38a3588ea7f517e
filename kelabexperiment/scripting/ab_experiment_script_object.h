#pragma once

#include "host/kelcore.h"
#include "host/kelscripting.h"

namespace kelabexperiment::scripting {

// The script class "ABExperimentScript", through which script code tells the
// library who the user is. Holds no state of its own; made by its definition
// (ab_experiment_script_definition.h) on whichever thread asks.
class ABExperimentScriptObject : public kelscripting::ScriptObject {
 public:
  static constexpr const char* kScriptClassName = "ABExperimentScript";

  ABExperimentScriptObject() : ScriptObject(kScriptClassName) {}

  // Prepares the library for the user (kelabexperiment::Initialize, with the
  // texts as immutable strings) on the calling thread, and returns true: a
  // call that completes always succeeded. Whatever Initialize throws passes.
  bool initialize(const UTF8String& quillUserID, const UTF8String& deviceType,
                  const UTF8String& storeType, bool freeUser);
};

}  // namespace kelabexperiment::scripting
