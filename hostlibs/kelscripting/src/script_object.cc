#include "kelscripting/script_object.h"

#include "kelscripting/definition/script_component_definition.h"
#include "kelscripting/definition/script_object_definition_base.h"

namespace kelscripting {

ScriptObjectBase::~ScriptObjectBase() = default;

ScriptObject::ScriptObject(const char* className)
    : className_(kelcore::string::FromStd(className)) {}

ScriptObject::~ScriptObject() = default;

void ScriptObject::SetDefinition(boost::intrusive_ptr<definition::ScriptObjectDefinitionBase> def) {
  definition_ = std::move(def);
}

boost::intrusive_ptr<definition::ScriptObjectDefinitionBase> ScriptObject::GetDefinition() const {
  return definition_;
}

void ScriptObject::AddComponent(
    boost::intrusive_ptr<definition::ScriptComponentDefinition> component) {
  components_.push_back(std::move(component));
}

void ScriptObject::SetFactoryObject() { factoryObject_ = true; }
bool ScriptObject::IsFactoryObject() const { return factoryObject_; }
void ScriptObject::SetEventTarget() { eventTarget_ = true; }
bool ScriptObject::IsEventTarget() const { return eventTarget_; }

void ScriptObject::SetAdapter(boost::intrusive_ptr<ScriptAdapter> adapter) {
  kelcore::threads::MutexLock lock(&adapterMutex_);
  adapter_ = std::move(adapter);
}

boost::intrusive_ptr<ScriptAdapter> ScriptObject::GetAdapter() {
  kelcore::threads::MutexLock lock(&adapterMutex_);
  if (!adapter_ && finalized_ && factoryObject_) {
    adapter_ = DoCreatePendingAdapter();
    if (adapter_) InitializePendingAdapter(*adapter_);
  }
  return adapter_;
}

bool ScriptObject::HasAdapter() const {
  kelcore::threads::MutexLock lock(&adapterMutex_);
  return adapter_ != nullptr;
}

bool ScriptObject::IsPending() const {
  kelcore::threads::MutexLock lock(&adapterMutex_);
  return finalized_ && factoryObject_ && !adapter_;
}

boost::intrusive_ptr<ScriptAdapter> ScriptObject::DoCreatePendingAdapter() {
  return new ScriptAdapter(className_, GetContextHdl());
}

void ScriptObject::InitializePendingAdapter(ScriptAdapter& /*adapter*/) {}

}  // namespace kelscripting
