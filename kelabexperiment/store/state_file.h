#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <string>
#include <string_view>

#include "host/kelcore.h"
#include "kelabexperiment/errors.h"
#include "platform/env.h"
#include "store/variation_record.h"

namespace kelabexperiment {

// Limits of a state file. A larger file is refused before anything is
// allocated for its content, and a save that would exceed them is refused,
// so the library never writes a file it would not load.
inline constexpr std::uint64_t kMaxStateFileBytes = std::uint64_t{64} << 20;  // 64 MiB
inline constexpr std::size_t kMaxStateFileRecords = 1'000'000;

// A save whose lock file was deleted or replaced while it was held: others may
// have worked on the file meanwhile, so the save did not replace it and is
// to be done again under a new lock.
class StateFileLockLostError : public FileError {
 public:
  using FileError::FileError;
};

// How often a save is tried in all when its lock is lost each time.
inline constexpr int kStateFileLockAttempts = 3;

// A state file over a limit of size or records: a FileError, told apart
// because such a file, unlike an unreadable disk, can be moved aside.
class StateFileLimitError : public FileError {
 public:
  using FileError::FileError;
};

// "<path>.<tag>-<16 random hex digits>", the digits 64 bits from the
// operating system's random source: a sibling name nobody can plant in
// advance, so a leftover or a link at a predictable name can neither be
// written through nor block every save.
UTF8String UniqueSiblingPath(const UTF8String& path, const char* tag);

// Whether `name` is one of the temporary names a save beside the file named
// `stateName` uses ("<stateName>.tmp-<16 lowercase hex digits>", or the
// "<stateName>.tmp" of older releases), and so one that a save may remove
// when a crashed writer left it.
bool IsStateTemporaryName(std::string_view stateName, std::string_view name);

// The path as the platform seam takes it.
std::string NativePath(const UTF8String& path);

// The state file at `path` open for reading, with its size in `size`; null
// when nothing is there. Throws as ReadStateFile does.
std::unique_ptr<platform::ReadableFile> OpenStateFile(const UTF8String& path, std::uint64_t& size);

// The whole content of the state file at `path`; empty when nothing is there
// or the file is empty. Throws FileError when something other than a regular
// file is there (a link, dangling or not, is never followed; a FIFO or device
// never blocks), when what is there cannot be told (a folder on the way
// without search permission, a name too long), when the file is over
// kMaxStateFileBytes (StateFileLimitError), and for read errors.
UTF8String ReadStateFile(const UTF8String& path);

// The state file's text for `records`. Records whose identifier is not valid
// UTF-8 cannot be JSON member names and are left out. Throws FileError naming
// `path` when the text would exceed a limit.
UTF8String SerializeState(const RecordMap& records, const UTF8String& path);

// SerializeState's text, and where the member of one record lies in it: from
// its comma (none for the first member) to the end of its value.
struct MarkedStateText {
  UTF8String text;
  std::size_t memberBegin = 0;
  std::size_t memberEnd = 0;
};
// REQUIRES: `records` holds `experimentId`, which is valid UTF-8.
MarkedStateText SerializeStateMarking(const RecordMap& records, const UTF8String& path,
                                      const UTF8String& experimentId);

// Whether `file` is byte for byte the text SerializeState gave for the records
// of `now` with the one marked record as `previous` was, or without it when
// `previous` is null (the record is new). Costs a comparison, not a
// serialization: how a save tells that nobody changed the file meanwhile.
bool IsTextBeforeChange(const UTF8String& file, const MarkedStateText& now,
                        const UTF8String& experimentId, const VariationRecord* previous);

// Replaces the file at `path` by `text` so that a reader, or a process that
// starts after a crash or a power loss, finds either the old complete file or
// the new one: the text goes to a new temporary file with a unique name in
// the same folder (created exclusively, never through a link, with the
// permissions, owner and group of the file it replaces), is flushed to disk,
// renamed over the file, and the folder is flushed. Throws FileError when any
// step fails, after removing the temporary file; the old file is then
// untouched, except when only the last step, the folder flush, fails: the new
// file is then in place but may not survive a power loss, and the error is a
// StateFileNotDurableError that says so.
// With `lock`, the file is replaced only while `lock` is still named by its
// path, else the temporary is removed and StateFileLockLostError thrown.
// REQUIRES: the caller holds the state file's lock (StateFileTransaction).
void WriteStateFileAtomically(const UTF8String& path, const UTF8String& text,
                              platform::FileLock* lock = nullptr);

// Copies the regular file at `path`, whatever its size or content, to
// `backup` as WriteStateFileAtomically writes (a reader of the backup finds
// what was there before or the new one, whole), with the state file's
// permissions. Throws FileError, leaving `backup` as it was.
// REQUIRES: the caller holds the state file's lock (StateFileTransaction).
void BackUpStateFile(const UTF8String& path, const UTF8String& backup);

}  // namespace kelabexperiment
