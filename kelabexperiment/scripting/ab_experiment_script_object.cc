#include "scripting/ab_experiment_script_object.h"

#include "kelabexperiment/kelabexperiment.h"

namespace kelabexperiment::scripting {

bool ABExperimentScriptObject::initialize(const UTF8String& quillUserID,
                                          const UTF8String& deviceType, const UTF8String& storeType,
                                          bool freeUser) {
  // Initialize's fixed result means nothing to script code.
  kelabexperiment::Initialize(ImmutableString::Create(quillUserID),
                              ImmutableString::Create(deviceType),
                              ImmutableString::Create(storeType), freeUser);
  return true;
}

}  // namespace kelabexperiment::scripting
