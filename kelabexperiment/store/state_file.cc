#include "store/state_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "base/utf8.h"
#include "platform/env.h"
#include "platform/folders.h"
#include "store/json_object_writer.h"
#include "store/record_codec.h"

namespace kelabexperiment {

namespace {

using platform::CurrentEnv;
using platform::EntryKind;
using platform::FolderOf;

std::string ForMessage(const UTF8String& text) {
  return PrintableForMessage(kelcore::string::View(text));
}

}  // namespace

UTF8String UniqueSiblingPath(const UTF8String& path, const char* tag) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "-%016llx",
                static_cast<unsigned long long>(CurrentEnv().Random64()));
  UTF8String sibling = path;
  sibling.push_back('.');
  sibling.append(kelcore::string::FromStd(tag));
  sibling.append(kelcore::string::FromStd(suffix));
  return sibling;
}

bool IsStateTemporaryName(std::string_view stateName, std::string_view name) {
  constexpr std::string_view kTag = ".tmp";
  constexpr std::size_t kDigits = 16;
  if (name.substr(0, stateName.size()) != stateName) return false;
  name.remove_prefix(stateName.size());
  if (name.substr(0, kTag.size()) != kTag) return false;
  name.remove_prefix(kTag.size());
  if (name.empty()) return true;  // the fixed name of older releases
  if (name.size() != 1 + kDigits || name[0] != '-') return false;
  return name.find_first_not_of("0123456789abcdef", 1) == std::string_view::npos;
}

std::string NativePath(const UTF8String& path) { return kelcore::string::ToStd(path); }

std::unique_ptr<platform::ReadableFile> OpenStateFile(const UTF8String& path, std::uint64_t& size) {
  const std::string native = NativePath(path);
  platform::Env& env = CurrentEnv();
  switch (env.Stat(native)) {
    case EntryKind::kMissing:
      return nullptr;
    case EntryKind::kLink:
      throw FileError("cannot read the state file '" + ForMessage(path) +
                      "': it is a symbolic link, and a state file is only ever a regular file");
    default:
      break;  // opening refuses anything but a regular file, saying so
  }
  std::unique_ptr<platform::ReadableFile> in = env.OpenForRead(native);
  size = in->Size();
  if (size > kMaxStateFileBytes) {
    throw StateFileLimitError("state file '" + ForMessage(path) + "' is " + std::to_string(size) +
                              " bytes, over the limit of " + std::to_string(kMaxStateFileBytes) +
                              " bytes (64 MiB)");
  }
  return in;
}

UTF8String ReadStateFile(const UTF8String& path) {
  UTF8String text;
  std::uint64_t size = 0;
  const std::unique_ptr<platform::ReadableFile> in = OpenStateFile(path, size);
  if (in != nullptr && size != 0) {
    text.resize(static_cast<std::size_t>(size));
    in->Read(text.data(), static_cast<std::size_t>(size));
  }
  return text;
}

namespace {

// SerializeState's text; with `marked`, also where its member lies.
MarkedStateText WriteState(const RecordMap& records, const UTF8String& path,
                           const UTF8String* marked) {
  if (records.size() > kMaxStateFileRecords) {
    throw FileError("cannot save '" + ForMessage(path) + "': " + std::to_string(records.size()) +
                    " records exceed the limit of " + std::to_string(kMaxStateFileRecords));
  }
  MarkedStateText state;
  // Records are in byte order of identifier, as a JsonObject would keep them.
  JsonObjectWriter root;
  for (const auto& [experimentId, record] : records) {
    if (!IsValidUTF8(kelcore::string::View(experimentId))) continue;
    const bool mark = marked != nullptr && experimentId == *marked;
    if (mark) state.memberBegin = root.Size();
    root.Add(experimentId, SerializeRecord(record));
    if (mark) state.memberEnd = root.Size();
  }
  state.text = root.Finish();
  if (state.text.size() > kMaxStateFileBytes) {
    throw FileError("cannot save '" + ForMessage(path) + "': " + std::to_string(state.text.size()) +
                    " bytes exceed the limit of " + std::to_string(kMaxStateFileBytes) +
                    " bytes (64 MiB)");
  }
  return state;
}

bool StartsWithAt(const UTF8String& text, std::size_t at, std::string_view part) {
  return text.size() >= at && text.size() - at >= part.size() &&
         std::memcmp(text.data() + at, part.data(), part.size()) == 0;
}

}  // namespace

UTF8String SerializeState(const RecordMap& records, const UTF8String& path) {
  return WriteState(records, path, nullptr).text;
}

MarkedStateText SerializeStateMarking(const RecordMap& records, const UTF8String& path,
                                      const UTF8String& experimentId) {
  return WriteState(records, path, &experimentId);
}

bool IsTextBeforeChange(const UTF8String& file, const MarkedStateText& now,
                        const UTF8String& experimentId, const VariationRecord* previous) {
  const std::string_view text = kelcore::string::View(now.text);
  std::string_view head = text.substr(0, now.memberBegin);
  std::string_view tail = text.substr(now.memberEnd);
  UTF8String middle;
  if (previous != nullptr) {
    // The previous member, with the same comma (or none) before it.
    JsonObjectWriter member;
    member.Add(experimentId, SerializeRecord(*previous));
    middle = member.Finish();
    middle = middle.substr(1, middle.size() - 2);
    if (now.memberBegin > 1) middle.insert(middle.begin(), ',');
  } else if (now.memberBegin == 1 && tail.size() > 1) {
    tail.remove_prefix(1);  // the new first member took the comma of the one after it
  }
  const std::string_view before = kelcore::string::View(middle);
  return file.size() == head.size() + before.size() + tail.size() && StartsWithAt(file, 0, head) &&
         StartsWithAt(file, head.size(), before) &&
         StartsWithAt(file, head.size() + before.size(), tail);
}

namespace {

// Writes a new temporary file beside the state file at `statePath` (named so
// that the next save sweeps it when a crash leaves it), with the attributes
// of `attributesOf`, fills it with `write`, flushes it, renames it over
// `target` and flushes the folder. See WriteStateFileAtomically.
void ReplaceAtomically(const UTF8String& statePath, const std::string& target,
                       const std::string& attributesOf,
                       const std::function<void(platform::WritableFile&)>& write,
                       platform::FileLock* lock) {
  platform::Env& env = CurrentEnv();
  const std::string temp = NativePath(UniqueSiblingPath(statePath, "tmp"));
  {
    // Throws, creating nothing, when anything is at the temporary name.
    std::unique_ptr<platform::WritableFile> out = env.CreateExclusive(temp, attributesOf);
    try {
      write(*out);
      out->Sync();
      out->Close();
    } catch (...) {
      out.reset();
      env.Remove(temp);
      throw;
    }
  }
  try {
    // Checked last, so that the window for losing the lock unseen is the
    // rename's own.
    if (lock != nullptr && !lock->StillNamed()) {
      throw StateFileLockLostError("its lock file was deleted or replaced while it was held");
    }
    env.Replace(temp, target);
  } catch (...) {
    env.Remove(temp);
    throw;
  }
  // Without this a power loss could bring back the old folder entry.
  try {
    env.SyncFolder(FolderOf(target));
  } catch (const FileError& e) {
    throw StateFileNotDurableError("'" + target +
                                   "' was replaced, but a power loss may still bring back the "
                                   "previous file: " +
                                   e.what());
  }
}

}  // namespace

void WriteStateFileAtomically(const UTF8String& path, const UTF8String& text,
                              platform::FileLock* lock) {
  const std::string target = NativePath(path);
  ReplaceAtomically(
      path, target, target,
      [&](platform::WritableFile& out) { out.Append(text.data(), text.size()); }, lock);
}

void BackUpStateFile(const UTF8String& path, const UTF8String& backup) {
  const std::string state = NativePath(path);
  const std::unique_ptr<platform::ReadableFile> in = CurrentEnv().OpenForRead(state);
  const std::uint64_t length = in->Size();
  ReplaceAtomically(
      path, NativePath(backup), state,
      [&](platform::WritableFile& out) {
        // Any size: a file over the limits is backed up too.
        std::string block(std::size_t{1} << 16, '\0');
        for (std::uint64_t left = length; left != 0;) {
          const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
          in->Read(block.data(), n);
          out.Append(block.data(), n);
          left -= n;
        }
      },
      nullptr);
}

}  // namespace kelabexperiment
