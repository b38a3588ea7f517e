#pragma once

// What the library uses of the host's scripting library.

#include "kelscripting/definition/script_definition_context.h"
#include "kelscripting/definition/script_object_definition.h"
#include "kelscripting/factory/script_object_definition_initiator.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "kelscripting/script_object.h"
#include "kelscripting/types/parameter_type.h"
#include "kelscripting/types/property_type.h"
