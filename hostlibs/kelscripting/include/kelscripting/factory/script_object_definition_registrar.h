#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <boost/intrusive_ptr.hpp>

#include "kelscripting/factory/script_object_definition_initiator.h"
#include "kelscripting/kelscripting_export.h"

namespace kelscripting::factory {

// A module's registration of one script class with the host, meant to be a
// module-lifetime object: constructing it hands the host the initiator,
// destroying it (at unload) takes it back. Thread-safe.
class KELSCRIPTING_EXPORT ScriptObjectDefinitionRegistrar {
 public:
  // Throws ScriptException for a null initiator.
  explicit ScriptObjectDefinitionRegistrar(
      boost::intrusive_ptr<ScriptObjectDefinitionInitiatorBase> initiator);
  ~ScriptObjectDefinitionRegistrar();
  ScriptObjectDefinitionRegistrar(const ScriptObjectDefinitionRegistrar&) = delete;
  ScriptObjectDefinitionRegistrar& operator=(const ScriptObjectDefinitionRegistrar&) = delete;

 private:
  boost::intrusive_ptr<ScriptObjectDefinitionInitiatorBase> initiator_;
};

// Host side. Runs the definer of every registered initiator, in registration
// order, on the registry current now; returns how many ran. An exception from
// a definer reaches the caller and the later ones do not run.
KELSCRIPTING_EXPORT std::size_t RunRegisteredDefiners();

// Host side. The ReadableTypeName of each registered initiator's class, in
// registration order.
KELSCRIPTING_EXPORT std::vector<std::string> RegisteredObjectTypes();

}  // namespace kelscripting::factory
