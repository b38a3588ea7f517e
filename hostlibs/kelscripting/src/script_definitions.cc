#include "kelscripting/definition/script_definitions.h"

#include <utility>

#include "kelscripting/script_exception.h"

namespace kelscripting::definition {
namespace {

using kelcore::threads::MutexLock;

struct Current {
  kelcore::threads::Mutex mutex;
  // Null: the process's own.
  boost::intrusive_ptr<ScriptDefinitions> registry KEL_GUARDED_BY(mutex);
};

Current& TheCurrent() {
  static Current* current = new Current;  // outlives every module's statics
  return *current;
}

}  // namespace

boost::intrusive_ptr<ScriptDefinitions> ScriptDefinitions::GetInstance() {
  Current& c = TheCurrent();
  MutexLock lock(&c.mutex);
  if (c.registry) return c.registry;
  static ScriptDefinitions* const processWide = [] {
    auto* registry = new ScriptDefinitions;
    registry->MakeImmortal();  // modules may drop references to it at any time, even at exit
    return registry;
  }();
  return processWide;
}

ScriptDefinitions::ScriptDefinitions() = default;
ScriptDefinitions::~ScriptDefinitions() = default;

void ScriptDefinitions::AddObjectDefinition(
    const kelcore::UTF8String& name, boost::intrusive_ptr<ScriptObjectDefinitionBase> definition) {
  if (!definition) {
    throw ScriptException("no definition given for script class \"" + kelcore::string::ToStd(name) +
                          '"');
  }
  definition->Seal();
  MutexLock lock(&mutex_);
  objects_.insert_or_assign(name, std::move(definition));
}

boost::intrusive_ptr<ScriptObjectDefinitionBase> ScriptDefinitions::FindObjectDefinition(
    const kelcore::UTF8String& name) const {
  MutexLock lock(&mutex_);
  const auto it = objects_.find(name);
  return it == objects_.end() ? nullptr : it->second;
}

void ScriptDefinitions::AddScriptComponentGroupDefinition(
    const std::string& typeName, boost::intrusive_ptr<ScriptComponentDefinition> component) {
  if (!component) throw ScriptException("no component given for " + typeName);
  MutexLock lock(&mutex_);
  components_[typeName].push_back(std::move(component));
}

ScriptDefinitions::ComponentList ScriptDefinitions::GetScriptComponentGroupDefinitions(
    const std::string& typeName) const {
  MutexLock lock(&mutex_);
  const auto it = components_.find(typeName);
  return it == components_.end() ? ComponentList() : it->second;
}

ScopedScriptDefinitions::ScopedScriptDefinitions() : registry_(new ScriptDefinitions) {
  Current& c = TheCurrent();
  MutexLock lock(&c.mutex);
  previous_ = std::exchange(c.registry, registry_);
}

ScopedScriptDefinitions::~ScopedScriptDefinitions() {
  Current& c = TheCurrent();
  MutexLock lock(&c.mutex);
  c.registry = std::move(previous_);
}

}  // namespace kelscripting::definition
