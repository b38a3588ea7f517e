#pragma once

#include <functional>
#include <typeinfo>

#include "kelcore/utility/ref_counted_object.h"
#include "kelscripting/definition/script_object_definition.h"
#include "kelscripting/kelscripting_export.h"

namespace kelscripting::factory {

// What a module hands the host for one of its script classes: a way to
// define the class later, when the host builds its script definitions.
// Reference-counted; immutable, so any thread may use it.
class KELSCRIPTING_EXPORT ScriptObjectDefinitionInitiatorBase
    : public kelcore::utility::RefCountedObject {
 public:
  ~ScriptObjectDefinitionInitiatorBase() override;

  // A function that defines the class on the registry that is current when
  // GetDefiner is called (it holds a reference to that registry).
  virtual std::function<void()> GetDefiner() const = 0;
  // The native class of the class's objects.
  virtual const std::type_info& GetObjectType() const = 0;
};

// The initiator of the script class whose objects are T's (see
// ScriptObjectDefinition for what T provides).
template <typename T>
class ScriptObjectDefinitionInitiator final : public ScriptObjectDefinitionInitiatorBase {
 public:
  std::function<void()> GetDefiner() const override {
    const auto registry = definition::ScriptDefinitions::GetInstance();
    return [registry] { registry->DefineObject<T>(); };
  }
  const std::type_info& GetObjectType() const override { return typeid(T); }
};

}  // namespace kelscripting::factory
