#include "registry/feature_switches.h"

#include "kelcore/debug/debug_database.h"
#include "kelcore/string/conversions.h"

namespace kelabexperiment {

bool ReadFeatureSwitch(const char* key, bool defaultOn) {
  const UTF8String fallback = kelcore::string::FromStd(defaultOn ? "true" : "false");
  const UTF8String text =
      kelcore::debug::DebugDatabase::Instance().GetEntry(kelcore::string::FromStd(key), fallback);
  return kelcore::string::View(text) == "true";
}

}  // namespace kelabexperiment
