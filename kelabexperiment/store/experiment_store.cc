#include "store/experiment_store.h"

#include <utility>

#include "base/utf8.h"
#include "store/feature_overrides.h"
#include "store/payload_parsing.h"
#include "store/state_file.h"
#include "store/state_file_reader.h"
#include "store/state_file_transaction.h"

namespace kelabexperiment {

ExperimentStore::ExperimentStore(const UTF8String& statePath, OnLoad onLoad)
    : statePath_(statePath) {
  Load(onLoad);
}

void ExperimentStore::Load(OnLoad onLoad) {
  if (statePath_.empty()) return;
  RecordMap records = LoadStateFile(statePath_);
  records.shrink_to_fit();  // no spare capacity kept beside the overrides
  records_.swap(records);
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
  RetryingLostLocks([&] { CommitOnce(experimentId, update, mode); });
}

void ExperimentStore::CommitOnce(const UTF8String* experimentId, const VariationRecord* update,
                                 MergeMode mode) {
  StateFileTransaction file(statePath_);
  if (CommitInPlace(file, experimentId, update)) return;
  RecordMap records = file.Records(records_);
  // Another process may have assigned the experiment meanwhile; a gap-filling
  // update then leaves its record, and the file, as they are.
  const bool theirsStands =
      update && mode == MergeMode::kFillGap && records.count(*experimentId) != 0;
  // Identifiers that are not UTF-8 cannot be in the file; they live in memory.
  const auto takeRecords = [&] {
    for (const auto& entry : records_) {
      if (!IsValidUTF8(kelcore::string::View(entry.first))) records.insert(entry);
    }
    records_.swap(records);
  };
  if (!theirsStands) {
    if (update) {
      records[*experimentId] = *update;
    } else {
      for (const auto& [id, record] : records_) records[id] = record;
    }
    try {
      file.Write(records);
    } catch (const StateFileNotDurableError&) {
      takeRecords();  // they are in the file now
      throw;
    }
  }
  takeRecords();
}

bool ExperimentStore::CommitInPlace(StateFileTransaction& file, const UTF8String* experimentId,
                                    const VariationRecord* update) {
  if (!update) {
    UTF8String text = SerializeState(records_, statePath_);
    if (kelcore::string::View(text) != kelcore::string::View(file.Text())) return false;
    file.WriteText(text);
    return true;
  }
  // The update goes into memory, and out again when the file is not what
  // memory held or the write fails.
  VariationRecord previous = *update;
  const auto [it, inserted] = records_.try_emplace(*experimentId);
  std::swap(it->second, previous);
  const auto undo = [&, it = it, inserted = inserted] {
    if (inserted) {
      records_.erase(it);
    } else {
      it->second = std::move(previous);
    }
  };
  try {
    const MarkedStateText text = SerializeStateMarking(records_, statePath_, *experimentId);
    if (!IsTextBeforeChange(file.Text(), text, *experimentId, inserted ? nullptr : &previous)) {
      undo();
      return false;
    }
    file.WriteText(text.text);
  } catch (const StateFileNotDurableError&) {
    throw;  // the file holds the update: so does memory
  } catch (...) {
    undo();
    throw;
  }
  return true;
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
  // What is stored afterwards: the update, or (kFillGap) the record another
  // process wrote meanwhile.
  const auto apply = [&] {
    FeatureNames names;
    ApplyOverrides(experimentId, records_.find(experimentId)->second, names);
  };
  if (!statePath_.empty() && IsValidUTF8(kelcore::string::View(experimentId))) {
    try {
      Commit(&experimentId, &update, mode);
    } catch (const StateFileNotDurableError&) {
      apply();  // stored, only perhaps not durably: the feature must answer it
      throw;
    }
  } else {
    records_[experimentId] = update;
  }
  apply();
}

bool SameRecord(const VariationRecord& a, const VariationRecord& b) {
  return a.variation == b.variation && a.challengerType == b.challengerType &&
         a.variationId == b.variationId && a.campaignId == b.campaignId;
}

}  // namespace kelabexperiment
