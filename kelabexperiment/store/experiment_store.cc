#include "store/experiment_store.h"

#include <utility>

#include "kelcore/string/conversions.h"
#include "store/feature_overrides.h"
#include "store/payload_parsing.h"
#include "store/state_file.h"
#include "store/state_file_transaction.h"

namespace kelabexperiment {

ExperimentStore::ExperimentStore(const UTF8String& statePath, OnLoad onLoad)
    : statePath_(statePath) {
  Load(onLoad);
}

void ExperimentStore::Load(OnLoad onLoad) {
  if (statePath_.empty()) return;
  UTF8String text = ReadStateFile(statePath_);
  const StateFingerprint loaded = FingerprintOf(text);
  RecordMap records = text.empty() ? RecordMap() : ParseStateText(text, statePath_);
  // The text goes before the overrides are built, so that the two never
  // take memory at the same time.
  UTF8String().swap(text);
  records.shrink_to_fit();  // no spare capacity kept beside the overrides
  records_.swap(records);
  fileState_ = loaded;
  if (onLoad == OnLoad::kApply) ApplyAll();
}

void ExperimentStore::ApplyAll() {
  // Whole or nothing: a load that fails leaves no override behind for the
  // next user's session.
  FeatureNames names;
  auto applied = records_.begin();
  try {
    for (; applied != records_.end(); ++applied) {
      ApplyOverrides(applied->first, applied->second, names);
    }
  } catch (...) {
    for (auto it = records_.begin(); it != applied; ++it) WithdrawOverrides(it->first, names);
    WithdrawOverrides(applied->first, names);
    throw;
  }
}

void ExperimentStore::Commit(const UTF8String* experimentId, const VariationRecord* update,
                             MergeMode mode) {
  StateFileTransaction file(statePath_);
  // Unknown until the write succeeds: a failed one may have replaced the file.
  const boost::optional<StateFingerprint> found = file.Found();
  const boost::optional<StateFingerprint> known = std::exchange(fileState_, boost::none);
  if (known && found == known) {
    CommitInPlace(file, experimentId, update);
    return;
  }
  RecordMap records = file.Records(records_);
  // Another process may have assigned the experiment meanwhile; a gap-filling
  // update then leaves its record, and the file, as they are.
  const bool theirsStands =
      update && mode == MergeMode::kFillGap && records.count(*experimentId) != 0;
  boost::optional<StateFingerprint> now = found;
  if (!theirsStands) {
    if (update) {
      records[*experimentId] = *update;
    } else {
      for (const auto& [id, record] : records_) records[id] = record;
    }
    now = file.Write(records);
  }
  // Identifiers that are not UTF-8 cannot be in the file; they live in memory.
  for (const auto& entry : records_) {
    if (!kelcore::string::IsValidUTF8(entry.first)) records.insert(entry);
  }
  records_.swap(records);
  fileState_ = now;
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
  Commit(nullptr, nullptr, MergeMode::kReplace);
}

void ExperimentStore::Merge(const UTF8String& experimentId, const UTF8String& variationPayload,
                            const UTF8String& identifiersPayload, MergeMode mode) {
  const VariationPayload variation = ParseVariationPayload(variationPayload);
  const IdentifiersPayload identifiers = ParseIdentifiersPayload(identifiersPayload);
  VariationRecord update;
  update.variation = variation.variation;
  update.challengerType = variation.challengerType;
  update.variationId = identifiers.variationId;
  update.campaignId = identifiers.campaignId;

  auto it = records_.find(experimentId);
  if (it != records_.end() && (mode == MergeMode::kFillGap || SameRecord(it->second, update))) {
    return;
  }
  if (!statePath_.empty() && kelcore::string::IsValidUTF8(experimentId)) {
    Commit(&experimentId, &update, mode);
  } else {
    records_[experimentId] = update;
  }
  // What is stored now: the update, or (kFillGap) the record another process
  // wrote meanwhile.
  FeatureNames names;
  ApplyOverrides(experimentId, records_.find(experimentId)->second, names);
}

bool SameRecord(const VariationRecord& a, const VariationRecord& b) {
  return a.variation == b.variation && a.challengerType == b.challengerType &&
         a.variationId == b.variationId && a.campaignId == b.campaignId;
}

}  // namespace kelabexperiment
