// The two update-payload parsers never fail, and a merge of anything they
// produce keeps the store consistent.

#include <algorithm>

#include "fuzz_support.h"
#include "kelappsupport/feature/feature_inspection.h"
#include "kelappsupport/testing/feature_service_testing.h"
#include "store/experiment_store.h"
#include "store/payload_parsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelabexperiment;
  // The first byte splits the rest into the two payloads.
  const std::size_t split = size == 0 ? 0 : std::min<std::size_t>(data[0], size - 1);
  const UTF8String variation = fuzz::Text(data + (size ? 1 : 0), split);
  const UTF8String identifiers =
      fuzz::Text(data + (size ? 1 : 0) + split, size == 0 ? 0 : size - 1 - split);

  const VariationPayload v = ParseVariationPayload(variation);
  fuzz::Require(static_cast<int>(v.variation) <= 3);
  const IdentifiersPayload ids = ParseIdentifiersPayload(identifiers);
  // A campaign is empty or the decimal form of a 32-bit number.
  const auto& c = ids.campaignId;
  fuzz::Require(c.size() <= 10);
  fuzz::Require(
      std::all_of(c.begin(), c.end(), [](unsigned char d) { return d >= '0' && d <= '9'; }));
  fuzz::Require(c.size() <= 1 || c[0] != '0');

  kelappsupport::feature::ResetFeatureService();
  ExperimentStore store{UTF8String()};
  store.Merge(kelcore::string::FromStd("exp"), variation, identifiers);
  const VariationRecord& record = store.Records().at(kelcore::string::FromStd("exp"));
  fuzz::Require(record.variation == v.variation);
  fuzz::Require(record.campaignId && *record.campaignId == c);
  return 0;
}
