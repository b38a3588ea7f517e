#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include <boost/optional.hpp>

#include "host/kelcore.h"
#include "platform/env.h"
#include "store/state_file.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// How long a save waits for another writer to let go of the state file's
// lock before it fails: writers hold it for one read and one write, so only
// a stopped or hung holder (SIGSTOP, a debugger, a dead network drive) is
// still there after this.
inline constexpr std::uint64_t kStateFileLockWaitMicros = 5'000'000;  // 5 s

// Takes the exclusive lock "<path>.lock" of the state file at `path`,
// waiting at most kStateFileLockWaitMicros while another holds it. Throws
// FileError naming the lock file when it cannot be locked, or is still held
// at the end of the wait.
std::unique_ptr<platform::FileLock> LockStateFile(const UTF8String& path);

// One read-change-write of the user's state file at `path` that other
// processes (and other stores of the same file in this one) cannot
// interleave with. While it lives it holds the exclusive lock "<path>.lock".
// Every FileError it throws names the state file, whichever step failed;
// the file is then as it was (but see WriteStateFileAtomically). Loading
// takes no lock: the atomic replace already gives readers a complete file.
class StateFileTransaction {
 public:
  // Takes the lock (LockStateFile), removes temporaries that a crashed
  // writer left and reads the file's bytes. Throws FileError for the lock,
  // for something other than a regular file at `path` and for failed reads.
  explicit StateFileTransaction(const UTF8String& path);

  // The bytes in the file when the transaction began (empty for a file over
  // kMaxStateFileBytes, which is not read, and for none).
  const UTF8String& Text() const { return text_; }

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

  // Writes `records`, or a text SerializeState made (WriteStateFileAtomically).
  void Write(const RecordMap& records);
  void WriteText(const UTF8String& text);

 private:
  template <typename Step>
  auto Named(const Step& step) -> decltype(step());

  UTF8String path_;
  std::unique_ptr<platform::FileLock> lock_;
  UTF8String text_;
  std::exception_ptr oversized_;  // the limit error of a file too large to read
};

// Runs `step`, a whole read-change-write in one StateFileTransaction, again
// while it throws StateFileLockLostError, kStateFileLockAttempts times in all.
template <typename Step>
auto RetryingLostLocks(const Step& step) -> decltype(step()) {
  for (int attempt = 1;; ++attempt) {
    try {
      return step();
    } catch (const StateFileLockLostError&) {
      if (attempt == kStateFileLockAttempts) throw;
    }
  }
}

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
