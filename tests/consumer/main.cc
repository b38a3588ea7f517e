#include <iostream>

#include "kelabexperiment/kelabexperiment.h"

int main() {
  using kelcore::utility::ImmutableString;
  kelabexperiment::RegisterExperimentIdentifier(ImmutableString::_PrivateCreateStatic("consumer"));
  for (const ImmutableString& id : kelabexperiment::GetRegisteredExperimentIdentifiers()) {
    std::cout << kelcore::string::View(id.Text()) << "\n";
  }
  return kelabexperiment::IsESDKInitializeComplete() ? 1 : 0;
}
