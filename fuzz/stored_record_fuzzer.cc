// A stored record either parses or fails with the defined load error; what
// parses is written and read back to the same record.

#include "fuzz_support.h"
#include "store/record_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelabexperiment;
  VariationRecord record;
  try {
    record = ParseStoredRecord(fuzz::Text(data, size));
  } catch (const boost::bad_any_cast&) {
    return 0;
  }
  const VariationRecord back = ParseStoredRecord(SerializeRecord(record));
  fuzz::Require(back.variation == record.variation);
  fuzz::Require(back.challengerType == record.challengerType);
  fuzz::Require(TextOrEmpty(back.variationId) == TextOrEmpty(record.variationId));
  fuzz::Require(TextOrEmpty(back.campaignId) == TextOrEmpty(record.campaignId));
  return 0;
}
