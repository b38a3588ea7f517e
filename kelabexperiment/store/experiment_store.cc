#include "store/experiment_store.h"

#include "store/feature_overrides.h"
#include "store/payload_parsing.h"
#include "store/record_codec.h"
#include "store/state_file.h"

namespace kelabexperiment {

ExperimentStore::ExperimentStore(const UTF8String& statePath) : statePath_(statePath) { Load(); }

void ExperimentStore::Load() {
  if (statePath_.empty()) return;
  UTF8String text = ReadStateFile(statePath_);
  if (text.empty()) return;
  auto members = kelcore::serialization::JSONParseTextMembers(text);
  UTF8String().swap(text);  // the file's bytes are not needed any more
  if (!members) throw boost::bad_any_cast();
  for (auto& [experimentId, recordText] : *members) {
    if (!recordText) throw boost::bad_any_cast();
    VariationRecord record = ParseStoredRecord(*recordText);
    recordText.reset();  // keeps the load's peak memory near the store's own size
    ApplyOverrides(experimentId, record);
    // Members come in ascending order: each one goes at the end.
    records_.emplace_hint(records_.end(), std::move(experimentId), std::move(record));
  }
}

void ExperimentStore::Save() {
  // Records are in byte order of identifier, as a JsonObject would keep them.
  kelcore::serialization::JsonObjectWriter root;
  for (const auto& [experimentId, record] : records_) {
    if (!kelcore::string::IsValidUTF8(experimentId)) continue;
    root.Add(experimentId, SerializeRecord(record));
  }
  const UTF8String text = root.Finish();
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
