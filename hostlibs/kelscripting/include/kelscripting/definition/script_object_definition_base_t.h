#pragma once

#include <cstdint>
#include <tuple>
#include <type_traits>
#include <vector>

#include <boost/intrusive_ptr.hpp>

#include "kelscripting/definition/method_binding.h"
#include "kelscripting/definition/script_item_definition.h"
#include "kelscripting/definition/script_object_definition_base.h"

namespace kelscripting::definition {

// The definition of a script class whose objects are T's, with the means to
// declare T's methods.
template <typename T>
class ScriptObjectDefinitionBaseT : public ScriptObjectDefinitionBase {
 public:
  // Item flag bits a method declaration contributes.
  static constexpr Flags kMethodItem = 4;
  static constexpr int kOptionShift = 6;
  static constexpr Flags kMethodFlagsMask = 0x580000;
  static constexpr Flags kExtraFlagsMask = 0x60000;

  using ScriptObjectDefinitionBase::ScriptObjectDefinitionBase;

  // Declares the method `name` on the current definition (sCurrent) when it
  // is a definition of T; does nothing otherwise. Parameter i of the method
  // takes argument i of a call; `result` stores what `member` returns.
  // Throws ScriptException when the current definition is sealed.
  template <typename R, typename... Args>
  static void AddMethod(const char* name,
                        const std::tuple<ParameterType<std::decay_t<Args>>...>& parameters,
                        const PropertyType<R>& result, R (T::*member)(Args...), bool option,
                        Flags methodFlags, const char* description, Flags extraFlags) {
    auto* current = dynamic_cast<ScriptObjectDefinitionBaseT*>(sCurrent.Get());
    if (current == nullptr) return;
    MethodBinding<T, R, Args...> binding(parameters, result, member, current);
    const Flags flags = (static_cast<Flags>(option) << kOptionShift) |
                        (methodFlags & kMethodFlagsMask) | (extraFlags & kExtraFlagsMask) |
                        kMethodItem;
    std::vector<ParameterType_Base> declared = std::apply(
        [](const auto&... p) { return std::vector<ParameterType_Base>{p...}; }, parameters);
    boost::intrusive_ptr<ScriptItemDefinition<T>> item(
        new ScriptItemDefinition<T>(flags, kelcore::string::FromStd(name), result,
                                    std::move(declared), kelcore::string::FromStd(description)));
    item->SetPrimary(std::move(binding));
    current->AddProperty(item);
  }

  // Method bindings call this after each completed call, with what the call
  // stored. Nothing to do here; the point where a definition could follow
  // its calls.
  void AfterMethodCall(ScriptArgumentList* /*arguments*/, ScriptValueMap* /*result*/,
                       T* /*target*/) {}
};

}  // namespace kelscripting::definition
