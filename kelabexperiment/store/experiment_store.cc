#include "store/experiment_store.h"

#include "kelcore/string/conversions.h"
#include "store/feature_overrides.h"
#include "store/payload_parsing.h"
#include "store/state_file.h"
#include "store/state_file_transaction.h"

namespace kelabexperiment {

ExperimentStore::ExperimentStore(const UTF8String& statePath) : statePath_(statePath) { Load(); }

void ExperimentStore::Load() {
  if (statePath_.empty()) return;
  RecordMap records = LoadStateFile(statePath_);
  ReserveOverrides(records);
  // Whole or nothing: a load that fails leaves no override behind for the
  // next user's session.
  auto applied = records.begin();
  try {
    for (; applied != records.end(); ++applied) ApplyOverrides(applied->first, applied->second);
  } catch (...) {
    for (auto it = records.begin(); it != applied; ++it) WithdrawOverrides(it->first);
    WithdrawOverrides(applied->first);
    throw;
  }
  records_.swap(records);
}

void ExperimentStore::Commit(const std::function<void(RecordMap&)>& change) {
  if (statePath_.empty()) {
    change(records_);
    return;
  }
  RecordMap written = UpdateStateFile(statePath_, records_, change);
  // Identifiers that are not UTF-8 cannot be in the file; they live in memory.
  for (const auto& entry : records_) {
    if (!kelcore::string::IsValidUTF8(entry.first)) written.insert(entry);
  }
  records_.swap(written);
}

void ExperimentStore::Save() {
  if (statePath_.empty()) return;  // memory already holds every record
  // records_ is only replaced once the change has run, so it can be read here.
  Commit([this](RecordMap& records) {
    for (const auto& [experimentId, record] : records_) records[experimentId] = record;
  });
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
  if (it != records_.end() && SameRecord(it->second, update)) return;
  if (kelcore::string::IsValidUTF8(experimentId)) {
    Commit([&](RecordMap& records) { records[experimentId] = update; });
  } else {
    records_[experimentId] = update;
  }
  ApplyOverrides(experimentId, update);
}

bool SameRecord(const VariationRecord& a, const VariationRecord& b) {
  return a.variation == b.variation && a.challengerType == b.challengerType &&
         a.variationId == b.variationId && a.campaignId == b.campaignId;
}

}  // namespace kelabexperiment
