#include "store/state_file_transaction.h"

#include <algorithm>
#include <exception>
#include <string>

#include "kelcore/string/conversions.h"
#include "platform/folders.h"
#include "store/state_file.h"
#include "store/state_file_reader.h"

namespace kelabexperiment {
namespace {

using platform::CurrentEnv;

// Every writer makes its temporary file while holding the lock, so one found
// by the lock's holder was left by a writer that died. Only regular files at
// the library's own temporary names go: a link there, or anything of anyone
// else's, stays.
void RemoveStaleTemporaries(const std::string& state) {
  platform::Env& env = CurrentEnv();
  const std::string folder = platform::FolderOf(state);
  const std::string stateName = state.substr(state.find_last_of(platform::kPathSeparators) + 1);
  for (const std::string& name : env.List(folder)) {
    if (!IsStateTemporaryName(stateName, name)) continue;
    const std::string path = state.substr(0, state.size() - stateName.size()) + name;
    if (env.Stat(path) == platform::EntryKind::kFile) env.Remove(path);
  }
}

}  // namespace

std::unique_ptr<platform::FileLock> LockStateFile(const UTF8String& path) {
  platform::Env& env = CurrentEnv();
  UTF8String lockPath = path;
  lockPath.append(kelcore::string::FromStd(".lock"));
  const std::string lock = NativePath(lockPath);
  const std::uint64_t start = env.NowMicros();
  // Short pauses first: a writer holds the lock for milliseconds.
  for (std::uint64_t pause = 1'000;; pause = std::min<std::uint64_t>(pause * 2, 64'000)) {
    if (std::unique_ptr<platform::FileLock> held = env.TryLock(lock)) return held;
    const std::uint64_t waited = env.NowMicros() - start;
    if (waited >= kStateFileLockWaitMicros) {
      throw FileError("the lock file '" + lock + "' is still held by another writer after " +
                      std::to_string(kStateFileLockWaitMicros / 1'000'000) +
                      " s; that process may be stopped or hung");
    }
    env.SleepForMicros(std::min(pause, kStateFileLockWaitMicros - waited));
  }
}

template <typename Step>
auto StateFileTransaction::Named(const Step& step) -> decltype(step()) {
  const auto named = [&](const char* what) {
    return std::string("cannot save the state file '") + kelcore::string::ToStd(path_) +
           "': " + what;
  };
  try {
    return step();
  } catch (const StateFileNotDurableError& e) {
    throw StateFileNotDurableError(named(e.what()));
  } catch (const StateFileLimitError& e) {
    throw StateFileLimitError(named(e.what()));
  } catch (const StateFileLockLostError& e) {
    throw StateFileLockLostError(named(e.what()));
  } catch (const FileError& e) {
    throw FileError(named(e.what()));
  }
}

StateFileTransaction::StateFileTransaction(const UTF8String& path) : path_(path) {
  Named([&] {
    lock_ = LockStateFile(path_);
    RemoveStaleTemporaries(NativePath(path_));
    try {
      text_ = ReadStateFile(path_);
    } catch (const StateFileLimitError&) {
      oversized_ = std::current_exception();  // moved aside by Records, like a malformed file
    }
  });
}

RecordMap StateFileTransaction::Parse() const {
  if (oversized_) std::rethrow_exception(oversized_);
  if (text_.empty()) return RecordMap();
  return ParseStateText(text_, path_);
}

RecordMap StateFileTransaction::Records(const RecordMap& fallback) {
  try {
    return Parse();
  } catch (const boost::bad_any_cast&) {
  } catch (const StateFileLimitError&) {
  }
  MoveAside();
  return fallback;
}

UTF8String StateFileTransaction::MoveAside() {
  return Named([&] {
    UTF8String aside = UniqueSiblingPath(path_, "unreadable");
    CurrentEnv().Replace(NativePath(path_), NativePath(aside));
    return aside;
  });
}

void StateFileTransaction::BackUp(const UTF8String& backup) {
  Named([&] { BackUpStateFile(path_, backup); });
}

bool StateFileTransaction::Exists() const {
  return oversized_ || !text_.empty() ||
         CurrentEnv().Stat(NativePath(path_)) == platform::EntryKind::kFile;
}

void StateFileTransaction::Write(const RecordMap& records) {
  Named([&] { WriteStateFileAtomically(path_, SerializeState(records, path_), lock_.get()); });
}

void StateFileTransaction::WriteText(const UTF8String& text) {
  Named([&] { WriteStateFileAtomically(path_, text, lock_.get()); });
}

namespace {

StateFileEdit EditOnce(const UTF8String& path, UnreadableStateFile unreadable,
                       const std::function<bool(RecordMap&)>& change,
                       const std::function<UTF8String()>& backupPath) {
  StateFileTransaction file(path);
  StateFileEdit edit;
  bool readable = true;
  try {
    edit.records = file.Parse();
  } catch (const boost::bad_any_cast&) {
    if (unreadable == UnreadableStateFile::kFail) throw;
    readable = false;
  } catch (const StateFileLimitError&) {
    if (unreadable == UnreadableStateFile::kFail) throw;
    readable = false;
  }
  if (!change(edit.records) && readable) return edit;
  UTF8String copy;  // a backup this edit made, removed again when the write fails
  if (!readable) {
    edit.backup = file.MoveAside();
  } else if (file.Exists()) {
    copy = backupPath();
    file.BackUp(copy);
  }
  try {
    file.Write(edit.records);
  } catch (const StateFileNotDurableError&) {
    throw;  // the file was replaced: its backup stays
  } catch (...) {
    if (!copy.empty()) CurrentEnv().Remove(NativePath(copy));
    throw;
  }
  if (!copy.empty()) edit.backup = copy;
  edit.written = true;
  return edit;
}

}  // namespace

StateFileEdit EditStateFile(const UTF8String& path, UnreadableStateFile unreadable,
                            const std::function<bool(RecordMap&)>& change,
                            const std::function<UTF8String()>& backupPath) {
  return RetryingLostLocks([&] { return EditOnce(path, unreadable, change, backupPath); });
}

}  // namespace kelabexperiment
