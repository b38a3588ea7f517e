#include "base/module_refusal.h"

#include <string>

#include "kelabexperiment/errors.h"

namespace kelabexperiment {
namespace {

// A function-local static: the load-time objects of another unit may run
// before this unit's namespace-scope ones are built.
std::string& Refusal() {
  static std::string refusal;
  return refusal;
}

}  // namespace

void RefuseThisModule(const char* why) noexcept {
  try {
    Refusal() = std::string("another copy of kelabexperiment is loaded in this process (") + why +
                "); this copy stays inactive";
  } catch (...) {
    Refusal() = "another copy of kelabexperiment is loaded in this process";  // short: fits SSO
  }
}

void ThrowIfModuleRefused() {
  if (!Refusal().empty()) throw ModuleRefusedError(Refusal());
}

}  // namespace kelabexperiment
