// Loading a state file: any content either loads or fails with the defined
// load error, which points inside the file; what loads survives a save and a reload unchanged.

#include "base/utf8.h"
#include "fuzz_support.h"
#include "kelabexperiment/errors.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "kelcore/string/conversions.h"
#include "store/experiment_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelabexperiment;
  fuzz::InMemoryDisk disk;
  kelappsupport::feature::ResetFeatureService();
  disk.fs().PutFile("/docs/state", std::string(reinterpret_cast<const char*>(data), size));
  const UTF8String path8 = kelcore::string::FromStd("/docs/state");
  try {
    ExperimentStore store(path8);
    store.Save();
    ExperimentStore reloaded(path8);
    const auto& a = store.Records();
    const auto& b = reloaded.Records();
    std::size_t writable = 0;
    for (const auto& [id, record] : a) {
      if (!IsValidUTF8(kelcore::string::View(id))) continue;  // kept out of the file
      ++writable;
      const auto it = b.find(id);
      fuzz::Require(it != b.end());
      fuzz::Require(it->second.variation == record.variation);
      fuzz::Require(TextOrEmpty(it->second.variationId) == TextOrEmpty(record.variationId));
      fuzz::Require(TextOrEmpty(it->second.campaignId) == TextOrEmpty(record.campaignId));
      fuzz::Require(it->second.challengerType == record.challengerType);
    }
    fuzz::Require(b.size() == writable);
  } catch (const StateFileError& e) {
    // Malformed content: the defined outcome, pointing inside the file.
    fuzz::Require(e.Offset() <= size);
  }
  return 0;
}
