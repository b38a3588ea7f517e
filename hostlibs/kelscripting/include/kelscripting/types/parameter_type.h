#pragma once

#include <cstddef>

#include <boost/any.hpp>

#include "kelscripting/kelscripting_export.h"
#include "kelscripting/script_transfer_type_info.h"
#include "kelscripting/script_values.h"

namespace kelscripting {

// A declared parameter of a script method: its name and type. Plain value.
class KELSCRIPTING_EXPORT ParameterType_Base {
 public:
  ParameterType_Base(UTF8String name, ScriptTransferTypeInfo type);

  const UTF8String& GetName() const noexcept { return name_; }
  const ScriptTransferTypeInfo& GetType() const noexcept { return type_; }

 protected:
  // The argument at `index`; throws ScriptArgumentException when the list
  // has none there or it holds nothing.
  const boost::any& Argument(std::size_t index, const ScriptArgumentList& arguments) const;
  // Throws ScriptArgumentException: the argument holds another type.
  [[noreturn]] void ThrowWrongType(std::size_t index, const ScriptValue& argument) const;

 private:
  UTF8String name_;
  ScriptTransferTypeInfo type_;
};

// A parameter of native type T, which must have a ScriptTypeName.
template <typename T>
class ParameterType : public ParameterType_Base {
 public:
  explicit ParameterType(const char* name)
      : ParameterType_Base(kelcore::string::FromStd(name), ScriptTransferTypeInfo::Of<T>()) {}

  // The argument at `index` as a T. Throws ScriptArgumentException, naming
  // the parameter and the expected type, when it is missing or holds another
  // type; no conversion is attempted.
  T Validate(std::size_t index, const ScriptArgumentList& arguments) const {
    const boost::any& argument = Argument(index, arguments);
    if (const T* value = boost::any_cast<T>(&argument)) return *value;
    ThrowWrongType(index, arguments[index]);
  }
};

}  // namespace kelscripting
