#include "kelscripting/definition/script_item_definition_base.h"

namespace kelscripting::definition {

ScriptItemDefinitionBase::ScriptItemDefinitionBase(Flags flags, kelcore::UTF8String name,
                                                   const PropertyType_Base& result,
                                                   std::vector<ParameterType_Base> parameters,
                                                   kelcore::UTF8String description)
    : flags_(flags),
      name_(std::move(name)),
      resultType_(result.GetTransferTypeInfo()),
      parameters_(std::move(parameters)),
      description_(std::move(description)) {}

ScriptItemDefinitionBase::~ScriptItemDefinitionBase() = default;

}  // namespace kelscripting::definition
