#pragma once

#include <map>

#include "host/kelcore.h"
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
  // Keys in plain byte order (case-sensitive).
  using RecordMap = std::map<UTF8String, VariationRecord, std::less<UTF8String>,
                             STLAllocator<std::pair<const UTF8String, VariationRecord>>>;

  // Keeps `statePath` and loads the file at once, applying every stored
  // record as overrides in key order. An empty path means no file: the store
  // works in memory only. A missing or empty file gives an empty store and is
  // not created. Throws boost::bad_any_cast for malformed content (records
  // before the bad member stay applied) and the host's errors for failed
  // reads; the file is never changed by loading.
  explicit ExperimentStore(const UTF8String& statePath);

  // Rewrites the state file from all records, atomically. Writes nothing for
  // an empty path, nor when the file cannot be created (silently). A failed
  // write throws the host's FileError and leaves the old file as it was.
  // Records whose identifier is not valid UTF-8 cannot be written as JSON
  // and are left out of the file (they stay in memory).
  void Save();

  // Records the update for `experimentId`: builds a record from the two
  // payloads (see ParseVariationPayload, ParseIdentifiersPayload). When it is
  // new or differs from the stored one (variation, or any text's presence or
  // bytes), stores it, saves, then applies its overrides; an equal record
  // changes nothing.
  void Merge(const UTF8String& experimentId, const UTF8String& variationPayload,
             const UTF8String& identifiersPayload);

  const RecordMap& Records() const noexcept { return records_; }
  const UTF8String& StatePath() const noexcept { return statePath_; }

 private:
  void Load();

  RecordMap records_;
  UTF8String statePath_;
};

// True when both records hold the same variation and each text is absent in
// both or present in both with the same bytes.
bool SameRecord(const VariationRecord& a, const VariationRecord& b);

}  // namespace kelabexperiment
