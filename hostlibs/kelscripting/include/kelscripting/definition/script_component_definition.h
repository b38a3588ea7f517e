#pragma once

#include "kelcore/string/string_types.h"
#include "kelcore/utility/ref_counted_object.h"
#include "kelscripting/kelscripting_export.h"

namespace kelscripting::definition {

// A group of members that some module adds to every object of a script
// class, kept by the registry under the class's readable type name.
// Immutable; reference-counted.
class KELSCRIPTING_EXPORT ScriptComponentDefinition : public kelcore::utility::RefCountedObject {
 public:
  explicit ScriptComponentDefinition(kelcore::UTF8String name) : name_(std::move(name)) {}
  const kelcore::UTF8String& GetName() const noexcept { return name_; }

 private:
  const kelcore::UTF8String name_;
};

}  // namespace kelscripting::definition
