// kelab: a command-line host for the kelabexperiment library.

#include <iostream>

#include "kelabexperiment/kelabexperiment.h"
#include "kelcore/string/string_types.h"

int main() {
  using kelcore::utility::ImmutableString;
  kelabexperiment::RegisterExperimentIdentifier(
      ImmutableString::_PrivateCreateStatic("checkoutFlow"));
  kelabexperiment::RegisterExperimentIdentifier(
      ImmutableString::_PrivateCreateStatic("newOnboarding"));
  for (const ImmutableString& id : kelabexperiment::GetRegisteredExperimentIdentifiers()) {
    std::cout << kelcore::string::View(id.Text()) << "\n";
  }
  return 0;
}
