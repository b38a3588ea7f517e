#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include <boost/optional.hpp>

#include "host/kelcore.h"
#include "kelcore/filesupport/file_system.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// What a process knows of a state file's bytes without keeping them: their
// size and a 64-bit hash. Equal fingerprints mean the same bytes, so the same
// records, short of a hash collision. Meaningful within one process only.
struct StateFingerprint {
  std::uint64_t size = 0;
  std::uint64_t hash = 0;
  bool operator==(const StateFingerprint& other) const {
    return size == other.size && hash == other.hash;
  }
};
StateFingerprint FingerprintOf(const UTF8String& text);

// One read-change-write of the user's state file at `path` that other
// processes (and other stores of the same file in this one) cannot
// interleave with. While it lives it holds the exclusive lock "<path>.lock".
// Every FileError it throws names the state file, whichever step failed;
// the file is then as it was (but see WriteStateFileAtomically). Loading
// takes no lock: the atomic replace already gives readers a complete file.
class StateFileTransaction {
 public:
  // Takes the lock (waiting while another writer holds it), removes
  // temporaries that a crashed writer left and reads the file's bytes.
  // Throws FileError for the lock, for something other than a regular file
  // at `path` and for failed reads.
  explicit StateFileTransaction(const UTF8String& path);

  // The bytes in the file when the transaction began (none for a file over
  // kMaxStateFileBytes, which is not read).
  boost::optional<StateFingerprint> Found() const;

  // The records in the file. When it cannot be read as a state file
  // (malformed, or over a limit) it is moved aside to
  // "<path>.unreadable-<random>", never deleted, and `fallback` stands in.
  RecordMap Records(const RecordMap& fallback);

  // The records in the file; throws the load's error (StateFileError, or
  // StateFileLimitError) when it cannot be read as a state file.
  RecordMap Parse() const;
  // Moves the file aside to "<path>.unreadable-<random>"; returns that path.
  UTF8String MoveAside();
  // Copies the file to `backup` (BackUpStateFile).
  void BackUp(const UTF8String& backup);
  // Whether a regular file is at the path (an empty one included).
  bool Exists() const;

  // Writes `records` (WriteStateFileAtomically); returns the fingerprint of
  // what is now in the file.
  StateFingerprint Write(const RecordMap& records);

 private:
  template <typename Step>
  auto Named(const Step& step) -> decltype(step());

  UTF8String path_;
  std::unique_ptr<kelcore::filesupport::FileLockHandle> lock_;
  UTF8String text_;
  std::exception_ptr oversized_;  // the limit error of a file too large to read
};

// What to do in EditStateFile with a file that cannot be read as a state file.
enum class UnreadableStateFile {
  kFail,        // throw the load's error; nothing changes
  kStartEmpty,  // run the change on no records, then write
};

struct StateFileEdit {
  bool written = false;  // whether the file was replaced
  UTF8String backup;     // where the previous file now is; empty when there was none
  RecordMap records;     // the records now in the file
};

// A deliberate edit of a user's state (a support tool setting, removing or
// resetting records) in one StateFileTransaction, with two differences from
// a store's save:
//  - `change` returns whether it changed the records; when it did not, and
//    the file was readable, nothing is written;
//  - before the file is replaced, the previous file (when there was one) is
//    copied to `backupPath()` (BackUpStateFile), called under the same lock
//    so that concurrent edits name different backups; when a later step
//    fails, that copy is removed again, so a failed edit leaves the backups
//    as they were.
// A file that cannot be read as a state file is handled as `unreadable`
// says; with kStartEmpty it is moved aside as Records moves it (a rename,
// never a copy, whatever its size), which is its backup, and replaced.
// Throws the transaction's FileError naming the file, the load's error with
// kFail, and whatever `change` or `backupPath` throws; the file is then as
// it was (but see WriteStateFileAtomically).
StateFileEdit EditStateFile(const UTF8String& path, UnreadableStateFile unreadable,
                            const std::function<bool(RecordMap&)>& change,
                            const std::function<UTF8String()>& backupPath);

}  // namespace kelabexperiment
