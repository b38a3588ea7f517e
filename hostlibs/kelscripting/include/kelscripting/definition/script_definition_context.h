#pragma once

#include <boost/intrusive_ptr.hpp>

#include "kelscripting/definition/script_object_definition_base.h"
#include "kelscripting/kelscripting_export.h"

namespace kelscripting::definition {

// Makes a definition the calling thread's current one
// (ScriptObjectDefinitionBase::sCurrent) while it lives, holding a reference
// to it, and restores the previous one after. A sealed definition cannot
// change, so it is not made current: sCurrent is empty meanwhile. Contexts
// nest; each must be destroyed on the thread that made it.
class KELSCRIPTING_EXPORT ScriptDefinitionContext {
 public:
  explicit ScriptDefinitionContext(boost::intrusive_ptr<ScriptObjectDefinitionBase> definition);
  ~ScriptDefinitionContext();
  ScriptDefinitionContext(const ScriptDefinitionContext&) = delete;
  ScriptDefinitionContext& operator=(const ScriptDefinitionContext&) = delete;

 private:
  boost::intrusive_ptr<ScriptObjectDefinitionBase> definition_;
  ScriptObjectDefinitionBase* previous_;
};

}  // namespace kelscripting::definition
