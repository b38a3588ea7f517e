#pragma once

#include <functional>
#include <typeinfo>

#include <boost/intrusive_ptr.hpp>

#include "kelscripting/definition/script_definitions.h"
#include "kelscripting/definition/script_object_definition_base_t.h"
#include "kelscripting/script_type_name.h"

namespace kelscripting::definition {

// The definition of the script class whose objects are T's.
//
// T provides `static constexpr const char* kScriptClassName`, a default
// constructor, and the specialisation of DefineMembers that declares its
// members (declared before any use, in T's definition header).
template <typename T>
class ScriptObjectDefinition final : public ScriptObjectDefinitionBaseT<T> {
 public:
  using ScriptObjectDefinitionBaseT<T>::ScriptObjectDefinitionBaseT;

  void DefineMembers() override;

  void AcceptHook(std::function<void()> /*hook*/) override {}

  boost::intrusive_ptr<ScriptObject> CreateInstance(
      const boost::intrusive_ptr<ScriptContext>& context) override {
    return Make(context, /*factory=*/false);
  }

  // Like CreateInstance, for an object the engine makes for itself; a pending
  // object gets its adapter made at once.
  boost::intrusive_ptr<ScriptObject> CreateFactoryInstance(
      const boost::intrusive_ptr<ScriptContext>& context) override {
    return Make(context, /*factory=*/true);
  }

 private:
  boost::intrusive_ptr<ScriptObject> Make(const boost::intrusive_ptr<ScriptContext>& context,
                                          bool factory) {
    if (!context) return nullptr;
    boost::intrusive_ptr<T> object(new T);
    object->SetContext(context);
    object->SetDefinition(this);
    if (factory) object->SetFactoryObject();
    if ((this->GetObjectFlags(false) & ScriptObjectDefinitionBase::kEventTarget) != 0) {
      object->SetEventTarget();
    }
    for (auto it = this->ComponentsBegin(); it != this->ComponentsEnd(); ++it) {
      object->AddComponent(*it);
    }
    object->Finalize();
    if (factory && object->IsPending()) object->GetAdapter();
    return object;
  }
};

template <typename T>
void ScriptDefinitions::DefineObject() {
  const kelcore::UTF8String name = kelcore::string::FromStd(T::kScriptClassName);
  const boost::intrusive_ptr<ScriptObjectDefinition<T>> definition(
      new ScriptObjectDefinition<T>(name, name + kelcore::string::FromStd(" script object")));
  definition->SetObjectType(typeid(T));
  definition->DefineMembers();
  for (const auto& component : GetScriptComponentGroupDefinitions(ReadableTypeName(typeid(T)))) {
    definition->AddComponent(component);
  }
  AddObjectDefinition(name, definition);
  SetDefinitionsChanged();
}

}  // namespace kelscripting::definition
