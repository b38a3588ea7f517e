#include "kelscripting/definition/script_object_definition_base.h"

#include "kelscripting/definition/script_component_definition.h"
#include "kelscripting/definition/script_definition_context.h"
#include "kelscripting/definition/script_item_definition_base.h"
#include "kelscripting/script_exception.h"

namespace kelscripting::definition {
namespace {

thread_local ScriptObjectDefinitionBase* tCurrent = nullptr;

}  // namespace

const CurrentDefinition ScriptObjectDefinitionBase::sCurrent{};

ScriptObjectDefinitionBase* CurrentDefinition::Get() const noexcept { return tCurrent; }

ScriptDefinitionContext::ScriptDefinitionContext(
    boost::intrusive_ptr<ScriptObjectDefinitionBase> definition)
    : definition_(std::move(definition)), previous_(tCurrent) {
  tCurrent = definition_ && !definition_->IsSealed() ? definition_.get() : nullptr;
}

ScriptDefinitionContext::~ScriptDefinitionContext() { tCurrent = previous_; }

ScriptObjectDefinitionBase::ScriptObjectDefinitionBase(kelcore::UTF8String name,
                                                       kelcore::UTF8String description)
    : name_(std::move(name)), description_(std::move(description)) {}

ScriptObjectDefinitionBase::~ScriptObjectDefinitionBase() = default;

void ScriptObjectDefinitionBase::RequireUnsealed() const {
  if (IsSealed()) {
    throw ScriptException("script class \"" + kelcore::string::ToStd(name_) +
                          "\" is registered and can no longer change");
  }
}

void ScriptObjectDefinitionBase::SetObjectType(const std::type_info& type) {
  RequireUnsealed();
  objectType_ = &type;
}

void ScriptObjectDefinitionBase::AddOrModifyNamespace(const kelcore::UTF8String& name,
                                                      Flags flags) {
  RequireUnsealed();
  namespace_ = name;
  namespaceFlags_ = flags;
}

void ScriptObjectDefinitionBase::SetObjectFlags(Flags flags) {
  RequireUnsealed();
  objectFlags_ = flags;
}

ScriptObjectDefinitionBase::Flags ScriptObjectDefinitionBase::GetObjectFlags(
    bool withNamespaceFlags) const noexcept {
  return withNamespaceFlags ? objectFlags_ | namespaceFlags_ : objectFlags_;
}

void ScriptObjectDefinitionBase::AddComponent(
    boost::intrusive_ptr<ScriptComponentDefinition> component) {
  RequireUnsealed();
  components_.push_back(std::move(component));
}

void ScriptObjectDefinitionBase::AddProperty(boost::intrusive_ptr<ScriptItemDefinitionBase> item) {
  RequireUnsealed();
  if (!item) throw ScriptException("a null member cannot be added");
  const kelcore::UTF8String name = item->GetName();
  items_.insert_or_assign(name, std::move(item));
}

boost::intrusive_ptr<ScriptItemDefinitionBase> ScriptObjectDefinitionBase::FindProperty(
    const kelcore::UTF8String& name) const {
  const auto it = items_.find(name);
  return it == items_.end() ? nullptr : it->second;
}

boost::intrusive_ptr<ScriptObject> ScriptObjectDefinitionBase::CreateFactoryInstance(
    const boost::intrusive_ptr<ScriptContext>& /*context*/) {
  return nullptr;
}

}  // namespace kelscripting::definition
