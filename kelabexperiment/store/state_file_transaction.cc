#include "store/state_file_transaction.h"

#include <memory>

#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"
#include "kelcore/filesupport/file_system.h"
#include "kelcore/string/conversions.h"
#include "store/state_file.h"

namespace kelabexperiment {
namespace {

using kelcore::filesupport::CurrentFileSystem;

// Every writer makes its temporary file while holding the lock, so one found
// by the lock's holder was left by a writer that died. Only regular files
// go: anything else at such a name is left alone.
void RemoveStaleTemporaries(const kelcore::filesupport::File& state) {
  const UTF16String& path = state.FullPath();
  const std::size_t cut = path.find_last_of(L"/\\");
  const UTF16String prefix =
      (cut == UTF16String::npos ? path : path.substr(cut + 1)) + UTF16String(L".tmp");
  const kelcore::filesupport::Dir folder = state.Parent();
  for (const UTF16String& name : CurrentFileSystem().ListDirectory(folder.FullPath())) {
    if (name.compare(0, prefix.size(), prefix) == 0) {
      kelcore::filesupport::File(folder, name).Delete();
    }
  }
}

// The records in the file, or none when it is not a readable state file.
boost::optional<RecordMap> ReadRecords(const UTF8String& path) {
  try {
    return LoadStateFile(path);
  } catch (const boost::bad_any_cast&) {
  } catch (const StateFileLimitError&) {
  }
  return boost::none;
}

// Takes the state file's lock and sweeps what crashed writers left.
std::unique_ptr<kelcore::filesupport::FileLockHandle> Lock(const UTF8String& path) {
  UTF8String lockPath = path;
  lockPath.append(kelcore::string::FromStd(".lock"));
  auto lock = CurrentFileSystem().LockFile(StateFileAt(lockPath).FullPath());
  RemoveStaleTemporaries(StateFileAt(path));
  return lock;
}

RecordMap Update(const UTF8String& path, const RecordMap& fallback,
                 const std::function<void(RecordMap&)>& change) {
  const kelcore::filesupport::File state = StateFileAt(path);
  const auto lock = Lock(path);

  boost::optional<RecordMap> records = ReadRecords(path);
  if (!records) {
    StateFileAt(UniqueSiblingPath(path, "unreadable")).ReplaceWith(state);
    records = fallback;
  }
  change(*records);
  WriteStateFileAtomically(path, SerializeState(*records, path));
  return std::move(*records);
}

StateFileEdit Edit(const UTF8String& path, UnreadableStateFile unreadable,
                   const std::function<bool(RecordMap&)>& change) {
  const kelcore::filesupport::File state = StateFileAt(path);
  const auto lock = Lock(path);
  StateFileEdit edit;
  bool readable = true;
  try {
    edit.records = LoadStateFile(path);
  } catch (const boost::bad_any_cast&) {
    if (unreadable == UnreadableStateFile::kFail) throw;
    readable = false;
  } catch (const StateFileLimitError&) {
    if (unreadable == UnreadableStateFile::kFail) throw;
    readable = false;
  }
  if (!change(edit.records) && readable) return edit;
  if (CurrentFileSystem().Stat(state.FullPath()) == kelcore::filesupport::PathKind::kFile) {
    BackUpStateFile(path);
    edit.backedUp = true;
  }
  if (!readable) StateFileAt(UniqueSiblingPath(path, "unreadable")).ReplaceWith(state);
  WriteStateFileAtomically(path, SerializeState(edit.records, path));
  edit.written = true;
  return edit;
}

// One message that names the state file, whichever step failed.
[[noreturn]] void RethrowNamingTheFile(const UTF8String& path,
                                       const kelcore::filesupport::FileError& e) {
  throw kelcore::filesupport::FileError("cannot save the state file '" +
                                        kelcore::string::ToStd(path) + "': " + e.what());
}

}  // namespace

StateFileEdit EditStateFile(const UTF8String& path, UnreadableStateFile unreadable,
                            const std::function<bool(RecordMap&)>& change) {
  try {
    return Edit(path, unreadable, change);
  } catch (const StateFileLimitError&) {
    throw;  // with kFail, the load's own error: the file is bad, not the save
  } catch (const kelcore::filesupport::FileError& e) {
    RethrowNamingTheFile(path, e);
  }
}

RecordMap UpdateStateFile(const UTF8String& path, const RecordMap& fallback,
                          const std::function<void(RecordMap&)>& change) {
  try {
    return Update(path, fallback, change);
  } catch (const kelcore::filesupport::FileError& e) {
    RethrowNamingTheFile(path, e);
  }
}

}  // namespace kelabexperiment
