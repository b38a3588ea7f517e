#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include <boost/intrusive_ptr.hpp>

#include "kelcore/string/string_types.h"
#include "kelcore/threads/mutex.h"
#include "kelcore/utility/ref_counted_object.h"
#include "kelscripting/definition/script_component_definition.h"
#include "kelscripting/definition/script_object_definition_base.h"
#include "kelscripting/kelscripting_export.h"

namespace kelscripting::definition {

// The host's registry of script classes and of the component groups other
// modules attach to them. Reference-counted. Thread-safe.
class KELSCRIPTING_EXPORT ScriptDefinitions : public kelcore::utility::RefCountedObject {
 public:
  using ComponentList = std::vector<boost::intrusive_ptr<ScriptComponentDefinition>>;

  // The registry in use: the process's own, unless a ScopedScriptDefinitions
  // is alive.
  static boost::intrusive_ptr<ScriptDefinitions> GetInstance();

  ScriptDefinitions();
  ~ScriptDefinitions() override;

  // Defines the script class of T on this registry: makes its definition,
  // declares its members, attaches the component groups registered for T,
  // adds it and marks the registry changed. Defined in
  // script_object_definition.h. Each module keeps its own instantiations
  // (hidden), so a module's classes never reach the host as exports.
  template <typename T>
  KELSCRIPTING_NO_EXPORT void DefineObject();

  // Adds `definition` under `name`, replacing an earlier one, and seals it.
  // Throws ScriptException for a null definition.
  void AddObjectDefinition(const kelcore::UTF8String& name,
                           boost::intrusive_ptr<ScriptObjectDefinitionBase> definition)
      KEL_EXCLUDES(mutex_);
  // Null when no class has that name.
  boost::intrusive_ptr<ScriptObjectDefinitionBase> FindObjectDefinition(
      const kelcore::UTF8String& name) const KEL_EXCLUDES(mutex_);

  // Appends a component group for the class whose ReadableTypeName is
  // `typeName`; classes defined afterwards get it.
  void AddScriptComponentGroupDefinition(const std::string& typeName,
                                         boost::intrusive_ptr<ScriptComponentDefinition> component)
      KEL_EXCLUDES(mutex_);
  // The groups for `typeName`, in the order they were added.
  ComponentList GetScriptComponentGroupDefinitions(const std::string& typeName) const
      KEL_EXCLUDES(mutex_);

  // The one-byte marker: set when classes were defined, taken (and cleared)
  // by an engine that rebuilds its class table only when needed.
  void SetDefinitionsChanged() noexcept { changed_.store(1, std::memory_order_release); }
  bool TakeDefinitionsChanged() noexcept {
    return changed_.exchange(0, std::memory_order_acq_rel) != 0;
  }

 private:
  mutable kelcore::threads::Mutex mutex_;
  std::map<kelcore::UTF8String, boost::intrusive_ptr<ScriptObjectDefinitionBase>, std::less<void>>
      objects_ KEL_GUARDED_BY(mutex_);
  std::map<std::string, ComponentList, std::less<>> components_ KEL_GUARDED_BY(mutex_);
  std::atomic<std::uint8_t> changed_{0};
};

// Makes a fresh, empty registry the one GetInstance gives while the scope
// lives, then restores the previous one. Scopes must nest.
class KELSCRIPTING_EXPORT ScopedScriptDefinitions {
 public:
  ScopedScriptDefinitions();
  ~ScopedScriptDefinitions();
  ScopedScriptDefinitions(const ScopedScriptDefinitions&) = delete;
  ScopedScriptDefinitions& operator=(const ScopedScriptDefinitions&) = delete;

  const boost::intrusive_ptr<ScriptDefinitions>& Get() const noexcept { return registry_; }

 private:
  boost::intrusive_ptr<ScriptDefinitions> registry_;
  boost::intrusive_ptr<ScriptDefinitions> previous_;
};

}  // namespace kelscripting::definition
