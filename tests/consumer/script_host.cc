// A host that calls none of the module's exports: it links kelabexperiment
// only for the script class the module registers as it loads, defines the
// registered classes and looks for "ABExperimentScript". Built with
// --as-needed (tests/check_installed_package.cmake), it shows that the
// package keeps the module linked. Prints what it found; exits 0 when the
// class is defined.

#include <cstddef>
#include <iostream>

#include "kelcore/string/conversions.h"
#include "kelscripting/definition/script_definitions.h"
#include "kelscripting/factory/script_object_definition_registrar.h"

int main() {
  const std::size_t definers = kelscripting::factory::RunRegisteredDefiners();
  const bool defined = static_cast<bool>(
      kelscripting::definition::ScriptDefinitions::GetInstance()->FindObjectDefinition(
          kelcore::string::FromStd("ABExperimentScript")));
  std::cout << definers << " definers; ABExperimentScript " << (defined ? "defined" : "missing")
            << "\n";
  return defined ? 0 : 1;
}
