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

}  // namespace kelabexperiment
