#include "store/experiment_store.h"

#include <utility>

#include "kelcore/string/conversions.h"
#include "store/feature_overrides.h"
#include "store/payload_parsing.h"
#include "store/state_file.h"
#include "store/state_file_transaction.h"

namespace kelabexperiment {

ExperimentStore::ExperimentStore(const UTF8String& statePath) : statePath_(statePath) { Load(); }

void ExperimentStore::Load() {
  if (statePath_.empty()) return;
  UTF8String text = ReadStateFile(statePath_);
  const StateFingerprint loaded = FingerprintOf(text);
  RecordMap records = text.empty() ? RecordMap() : ParseStateText(text, statePath_);
  // The text goes before the overrides are built, so that the two never
  // take memory at the same time.
  UTF8String().swap(text);
  records.shrink_to_fit();  // no spare capacity kept beside the overrides
  ReserveOverrides(records);
  // Whole or nothing: a load that fails leaves no override behind for the
  // next user's session.
  FeatureNames names;
  auto applied = records.begin();
  try {
    for (; applied != records.end(); ++applied) {
      ApplyOverrides(applied->first, applied->second, names);
    }
  } catch (...) {
    for (auto it = records.begin(); it != applied; ++it) WithdrawOverrides(it->first, names);
    WithdrawOverrides(applied->first, names);
    throw;
  }
  records_.swap(records);
  fileState_ = loaded;
}

void ExperimentStore::Commit(const UTF8String* experimentId, const VariationRecord* update) {
  StateFileTransaction file(statePath_);
  // Unknown until the write succeeds: a failed one may have replaced the file.
  const boost::optional<StateFingerprint> known = std::exchange(fileState_, boost::none);
  if (known && file.Found() == known) {
    CommitInPlace(file, experimentId, update);
    return;
  }
  RecordMap records = file.Records(records_);
  if (update) {
    records[*experimentId] = *update;
  } else {
    for (const auto& [id, record] : records_) records[id] = record;
  }
  const StateFingerprint written = file.Write(records);
  // Identifiers that are not UTF-8 cannot be in the file; they live in memory.
  for (const auto& entry : records_) {
    if (!kelcore::string::IsValidUTF8(entry.first)) records.insert(entry);
  }
  records_.swap(records);
  fileState_ = written;
}

void ExperimentStore::CommitInPlace(StateFileTransaction& file, const UTF8String* experimentId,
                                    const VariationRecord* update) {
  if (!update) {
    fileState_ = file.Write(records_);
    return;
  }
  // The update goes into memory, and out again when the write fails.
  VariationRecord previous = *update;
  const auto [it, inserted] = records_.try_emplace(*experimentId);
  std::swap(it->second, previous);
  try {
    fileState_ = file.Write(records_);
  } catch (...) {
    if (inserted) {
      records_.erase(it);
    } else {
      it->second = std::move(previous);
    }
    throw;
  }
}

void ExperimentStore::Save() {
  if (statePath_.empty()) return;  // memory already holds every record
  Commit(nullptr, nullptr);
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
  if (!statePath_.empty() && kelcore::string::IsValidUTF8(experimentId)) {
    Commit(&experimentId, &update);
  } else {
    records_[experimentId] = update;
  }
  FeatureNames names;
  ApplyOverrides(experimentId, update, names);
}

bool SameRecord(const VariationRecord& a, const VariationRecord& b) {
  return a.variation == b.variation && a.challengerType == b.challengerType &&
         a.variationId == b.variationId && a.campaignId == b.campaignId;
}

}  // namespace kelabexperiment
