// A host built by the README's recipe: it links kelab::kelabexperiment alone
// (CMake) or `pkg-config kelabexperiment` (tests/check_installed_package.cmake
// builds it both ways), and still reaches every library a host needs: the
// exports, kelappsupport's feature reads and kelscripting's definers and UI
// queue. Prints the registered experiment and the release, then exits 0.

#include <iostream>

#include "kelabexperiment/kelabexperiment.h"
#include "kelabexperiment/version.h"
#include "kelappsupport/feature/feature_reads.h"
#include "kelscripting/factory/script_object_definition_registrar.h"
#include "kelscripting/threads/ui_thread.h"

static_assert(__cplusplus >= 201703L, "the package's targets raise the C++ standard to 17");

int main() {
  using kelcore::utility::ImmutableString;
  kelabexperiment::RegisterExperimentIdentifier(ImmutableString::_PrivateCreateStatic("consumer"));
  for (const ImmutableString& id : kelabexperiment::GetRegisteredExperimentIdentifiers()) {
    std::cout << kelcore::string::View(id.Text()) << "\n";
  }
  std::cout << KELABEXPERIMENT_VERSION_STRING << "\n";
  // The module's script class is the one definer registered.
  const bool defined = kelscripting::factory::RunRegisteredDefiners() == 1;
  // No Initialize ran, so nothing watches the feature: the default answers
  // and nothing is queued.
  const auto read =
      kelappsupport::feature::ReadIntFeature(kelcore::string::FromStd("consumer_variation"), 7);
  const bool readOk =
      read.value == 7 && !read.fromOverride && kelscripting::threads::PendingUITaskCount() == 0;
  return defined && readOk && !kelabexperiment::IsESDKInitializeComplete() ? 0 : 1;
}
