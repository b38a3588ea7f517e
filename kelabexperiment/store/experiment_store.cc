#include "store/experiment_store.h"

#include "store/feature_overrides.h"
#include "store/payload_parsing.h"
#include "store/record_codec.h"
#include "store/state_file.h"

namespace kelabexperiment {

using kelcore::serialization::JsonObject;

ExperimentStore::ExperimentStore(const UTF8String& statePath) : statePath_(statePath) { Load(); }

void ExperimentStore::Load() {
  if (statePath_.empty()) return;
  const UTF8String text = ReadStateFile(statePath_);
  if (text.empty()) return;
  const auto parsed = kelcore::serialization::JSONParse(text);
  if (!parsed) throw boost::bad_any_cast();
  for (const auto& [experimentId, value] : boost::any_cast<const JsonObject&>(*parsed)) {
    if (!value) throw boost::bad_any_cast();
    const VariationRecord record = ParseStoredRecord(boost::any_cast<const UTF8String&>(*value));
    ApplyOverrides(experimentId, record);
    records_.emplace(experimentId, record);
  }
}

void ExperimentStore::Save() {
  boost::any root = JsonObject();
  for (const auto& [experimentId, record] : records_) {
    if (!kelcore::string::IsValidUTF8(experimentId)) continue;
    kelcore::serialization::AddToObject(root, experimentId, SerializeRecord(record), false);
  }
  const UTF8String text = kelcore::serialization::GetJSONUTF8String(root, false);
  if (statePath_.empty()) return;
  WriteStateFileAtomically(statePath_, text);
}

void ExperimentStore::Merge(const UTF8String& experimentId, const UTF8String& variationPayload,
                            const UTF8String& identifiersPayload) {
  const VariationPayload variation = ParseVariationPayload(variationPayload);
  const IdentifiersPayload identifiers = ParseIdentifiersPayload(identifiersPayload);
  VariationRecord update;
  update.variation = variation.variation;
  update.challengerType = variation.challengerType;
  update.variationId = identifiers.variationId;
  update.campaignId = identifiers.campaignId;

  auto it = records_.find(experimentId);
  if (it == records_.end()) {
    records_.emplace(experimentId, update);
  } else if (SameRecord(it->second, update)) {
    return;
  } else {
    it->second = update;
  }
  Save();
  ApplyOverrides(experimentId, update);
}

bool SameRecord(const VariationRecord& a, const VariationRecord& b) {
  return a.variation == b.variation && a.challengerType == b.challengerType &&
         a.variationId == b.variationId && a.campaignId == b.campaignId;
}

}  // namespace kelabexperiment
