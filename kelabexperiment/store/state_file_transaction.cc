#include "store/state_file_transaction.h"

#include <cstring>
#include <exception>

#include "kelcore/filesupport/dir.h"
#include "kelcore/filesupport/file.h"
#include "kelcore/string/conversions.h"
#include "store/state_file.h"

namespace kelabexperiment {
namespace {

using kelcore::filesupport::CurrentFileSystem;
using kelcore::filesupport::FileError;

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

}  // namespace

StateFingerprint FingerprintOf(const UTF8String& text) {
  // Eight bytes a step, each mixed in by a multiply: a whole file is hashed at
  // every load, and this tells changed bytes apart as well as a general hash.
  constexpr std::uint64_t kMultiplier = 0xff51afd7ed558ccdULL;
  std::uint64_t hash = 0x9e3779b97f4a7c15ULL ^ text.size();
  const unsigned char* bytes = text.data();
  std::size_t left = text.size();
  for (; left >= 8; left -= 8, bytes += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 32;
  }
  std::uint64_t tail = 0;
  if (left > 0) std::memcpy(&tail, bytes, left);
  hash = (hash ^ tail) * kMultiplier;
  hash ^= hash >> 29;
  return {text.size(), hash};
}

template <typename Step>
auto StateFileTransaction::Named(const Step& step) -> decltype(step()) {
  try {
    return step();
  } catch (const FileError& e) {
    throw FileError("cannot save the state file '" + kelcore::string::ToStd(path_) +
                    "': " + e.what());
  }
}

StateFileTransaction::StateFileTransaction(const UTF8String& path) : path_(path) {
  Named([&] {
    const kelcore::filesupport::File state = StateFileAt(path_);
    UTF8String lockPath = path_;
    lockPath.append(kelcore::string::FromStd(".lock"));
    lock_ = CurrentFileSystem().LockFile(StateFileAt(lockPath).FullPath());
    RemoveStaleTemporaries(state);
    try {
      text_ = ReadStateFile(path_);
    } catch (const StateFileLimitError&) {
      oversized_ = std::current_exception();  // moved aside by Records, like a malformed file
    }
  });
}

boost::optional<StateFingerprint> StateFileTransaction::Found() const {
  if (oversized_) return boost::none;
  return FingerprintOf(text_);
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
    StateFileAt(aside).ReplaceWith(StateFileAt(path_));
    return aside;
  });
}

void StateFileTransaction::BackUp(const UTF8String& backup) {
  Named([&] { BackUpStateFile(path_, backup); });
}

bool StateFileTransaction::Exists() const {
  return oversized_ || !text_.empty() ||
         CurrentFileSystem().Stat(StateFileAt(path_).FullPath()) ==
             kelcore::filesupport::PathKind::kFile;
}

StateFingerprint StateFileTransaction::Write(const RecordMap& records) {
  return Named([&] {
    const UTF8String text = SerializeState(records, path_);
    WriteStateFileAtomically(path_, text);
    return FingerprintOf(text);
  });
}

StateFileEdit EditStateFile(const UTF8String& path, UnreadableStateFile unreadable,
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
  } catch (...) {
    if (!copy.empty()) StateFileAt(copy).Delete();
    throw;
  }
  if (!copy.empty()) edit.backup = copy;
  edit.written = true;
  return edit;
}

}  // namespace kelabexperiment
