#pragma once

#include <functional>

#include "host/kelcore.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// Changes the user's state file at `path` in one read-change-write that
// other processes (and other stores of the same file in this one) cannot
// interleave with:
//  1. takes the exclusive lock "<path>.lock" (waiting while another writer
//     holds it) and removes temporaries that a crashed writer left;
//  2. reads the records in the file; when it cannot be read as a state file
//     (malformed, or over a limit) it is moved aside to
//     "<path>.unreadable-<random>", never deleted, and `fallback` stands in;
//  3. runs `change` on the records and writes them atomically
//     (WriteStateFileAtomically).
// Returns the records now in the file. Throws the host's FileError naming the
// file when any step fails (the lock, something other than a regular file at
// `path`, the write), and whatever `change` throws; the file is then as it
// was. Loading takes no lock: the atomic replace already gives readers a
// complete file.
RecordMap UpdateStateFile(const UTF8String& path, const RecordMap& fallback,
                          const std::function<void(RecordMap&)>& change);

// What to do in EditStateFile with a file that cannot be read as a state file.
enum class UnreadableStateFile {
  kFail,        // throw the load's error; nothing changes
  kStartEmpty,  // run the change on no records, then write (as UpdateStateFile)
};

struct StateFileEdit {
  bool written = false;   // whether the file was replaced
  bool backedUp = false;  // whether the previous file is now at BackupPath
  RecordMap records;      // the records now in the file
};

// UpdateStateFile for a deliberate edit of a user's state (a support tool
// setting, removing or resetting records), with the same lock, sweep and
// atomic write, and two differences:
//  - `change` returns whether it changed the records; when it did not, and
//    the file was readable, nothing is written;
//  - before the file is replaced, the previous file (when there was one) is
//    copied to BackupPath(path) (BackUpStateFile), under the same lock.
// A file that cannot be read as a state file is handled as `unreadable`
// says; with kStartEmpty it is backed up, moved aside as UpdateStateFile
// moves it, and replaced. Throws what UpdateStateFile throws (a FileError
// naming the file), the load's error with kFail, and whatever `change`
// throws; the file is then as it was.
StateFileEdit EditStateFile(const UTF8String& path, UnreadableStateFile unreadable,
                            const std::function<bool(RecordMap&)>& change);

}  // namespace kelabexperiment
