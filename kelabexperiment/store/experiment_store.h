#pragma once

#include <boost/optional.hpp>

#include "host/kelcore.h"
#include "store/state_file_transaction.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// One user's experiment assignments, mirrored in the user's state file and
// applied as feature overrides.
//
// State file: a JSON object with one member per experiment, named by the
// experiment identifier, whose value is a JSON string holding the record's
// own JSON object text (see SerializeRecord).
//
// Not thread-safe: the manager creates a store in Initialize and merges into
// it on the UI thread, never at the same time.
class ExperimentStore {
 public:
  using RecordMap = kelabexperiment::RecordMap;

  // Whether loading applies the records as overrides at once, or leaves that
  // to ApplyAll (so that a caller can set them over another user's in place).
  enum class OnLoad { kApply, kDefer };

  // What Merge may do to a record that is already stored for the experiment.
  enum class MergeMode {
    kReplace,  // replace it when the update differs
    // Keep it: only an experiment that has no record, neither in memory nor
    // in the file as another process may have written it, gains one. A
    // fallback means "this user has no assignment", so it must never
    // overwrite one that exists.
    kFillGap,
  };

  // Keeps `statePath` and loads the file at once, applying every stored
  // record as overrides in key order. An empty path means no file: the store
  // works in memory only. A missing or empty file gives an empty store and is
  // not created. Throws boost::bad_any_cast for malformed content, and the
  // FileError for something other than a regular file at the path, a
  // file over the limits (kMaxStateFileBytes, kMaxStateFileRecords) and
  // failed reads. A load that fails sets no override; loading never changes
  // the file. With OnLoad::kDefer nothing is applied until ApplyAll.
  explicit ExperimentStore(const UTF8String& statePath, OnLoad onLoad = OnLoad::kApply);

  // Applies every record as overrides, in key order, whole or nothing: when a
  // host error stops it, the overrides it set are withdrawn again and the
  // error passes through.
  void ApplyAll();

  // Writes every record to the state file, keeping the records that another
  // process has written meanwhile (StateFileTransaction); the store then holds
  // what the file holds. Writes nothing for an empty path. Throws the host's
  // FileError when the file cannot be written; the store is then unchanged.
  // Records whose identifier is not valid UTF-8 cannot be written as JSON:
  // they stay in memory only.
  void Save();

  // Records the update for `experimentId`: builds a record from the two
  // payloads (see ParseVariationPayload, ParseIdentifiersPayload). When it is
  // new or differs from the stored one (variation, or any text's presence or
  // bytes), writes it into the state file (as Save does), then applies its
  // overrides; an equal record changes nothing. With MergeMode::kFillGap a
  // stored record is never replaced: when memory has one, nothing happens;
  // when only the file has one (another process wrote it), memory takes the
  // file's records, nothing is written, and that record's overrides are
  // applied. When the file cannot be written, throws the FileError and
  // keeps nothing: no record in memory, no override, so the next update for
  // it tries again.
  void Merge(const UTF8String& experimentId, const UTF8String& variationPayload,
             const UTF8String& identifiersPayload, MergeMode mode = MergeMode::kReplace);

  const RecordMap& Records() const noexcept { return records_; }
  const UTF8String& StatePath() const noexcept { return statePath_; }

 private:
  void Load(OnLoad onLoad);
  // Writes the records with `update` for `experimentId` in them (none: Save)
  // to the state file; memory then equals the file. When the file holds
  // byte for byte what memory would write, memory is what it holds and is
  // written as it is; otherwise the file's records are read and memory's
  // (Save) or the update (Merge) merged in. With kFillGap, a record the file
  // holds for `experimentId` stays, and nothing is written. When only the
  // folder flush fails (StateFileNotDurableError), memory still takes what
  // the file now holds before the error passes.
  // A lock lost meanwhile (StateFileLockLostError) has it done again.
  void Commit(const UTF8String* experimentId, const VariationRecord* update, MergeMode mode);
  void CommitOnce(const UTF8String* experimentId, const VariationRecord* update, MergeMode mode);
  // The in-place part of Commit; false, changing nothing, when the file is
  // not what memory would write.
  bool CommitInPlace(StateFileTransaction& file, const UTF8String* experimentId,
                     const VariationRecord* update);

  RecordMap records_;
  UTF8String statePath_;
};

// True when both records hold the same variation and each text is absent in
// both or present in both with the same bytes.
bool SameRecord(const VariationRecord& a, const VariationRecord& b);

}  // namespace kelabexperiment
