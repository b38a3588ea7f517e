#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "kelscripting/script_values.h"
#include "kelscripting/types/parameter_type.h"
#include "kelscripting/types/property_type.h"

namespace kelscripting::definition {

template <typename T>
class ScriptObjectDefinitionBaseT;

// Turns a script call into a call of the member function `R (T::*)(Args...)`:
// takes argument i through the i-th parameter type, calls the member, stores
// its result through the result type, then tells the definition. A bad
// argument throws (from Validate) before the member runs. Copyable; holds a
// plain pointer to the definition, which owns the item that owns the binding.
template <typename T, typename R, typename... Args>
class MethodBinding {
 public:
  using Member = R (T::*)(Args...);
  using Parameters = std::tuple<ParameterType<std::decay_t<Args>>...>;

  MethodBinding(Parameters parameters, PropertyType<R> result, Member member,
                ScriptObjectDefinitionBaseT<T>* definition)
      : parameters_(std::move(parameters)),
        result_(std::move(result)),
        member_(member),
        definition_(definition) {}

  // REQUIRES: every pointer is valid.
  void operator()(ScriptArgumentList* arguments, ScriptValueMap* result, T* target) const {
    Call(*arguments, result, target, std::index_sequence_for<Args...>());
  }

 private:
  template <std::size_t... I>
  void Call(ScriptArgumentList& arguments, ScriptValueMap* result, T* target,
            std::index_sequence<I...>) const {
    // Braced initialisation validates in index order, all before the call.
    const std::tuple<std::decay_t<Args>...> values{
        std::get<I>(parameters_).Validate(I, arguments)...};
    ScriptValueMap* stored = result_.Validate((target->*member_)(std::get<I>(values)...), result);
    definition_->AfterMethodCall(&arguments, stored, target);
  }

  Parameters parameters_;
  PropertyType<R> result_;
  Member member_;
  ScriptObjectDefinitionBaseT<T>* definition_;
};

}  // namespace kelscripting::definition
