#include "store/state_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <random>
#include <string>

#include "kelcore/filesupport/byte_streams.h"
#include "kelcore/filesupport/file.h"
#include "kelcore/filesupport/file_system.h"
#include "kelcore/serialization/json_object_writer.h"
#include "kelcore/serialization/json_text_members.h"
#include "kelcore/serialization/json_text_visitor.h"
#include "kelcore/string/conversions.h"
#include "store/record_codec.h"

namespace kelabexperiment {

using kelcore::filesupport::File;
using kelcore::filesupport::FileError;
using kelcore::filesupport::StorageType;

namespace {

constexpr kelcore::filesupport::Flags kStreamFlags = kelcore::filesupport::kStreamBinary;

std::string ForMessage(const UTF8String& text) {
  return kelcore::string::PrintableForMessage(kelcore::string::View(text));
}

// How many members a compact text of string-valued members has: one more
// than its '","' separators, which no string can hold unescaped. Only a
// capacity hint: white space between members makes it count short.
std::size_t MembersHint(std::string_view text) {
  std::size_t separators = 0;
  const char* const end = text.data() + text.size();
  // memchr skips to the few commas; a byte-by-byte search costs more than
  // the parse saves.
  for (const char* at = text.data(); end - at > 2;) {
    const auto* comma =
        static_cast<const char*>(std::memchr(at + 1, ',', static_cast<std::size_t>(end - at - 2)));
    if (comma == nullptr) break;
    separators += comma[-1] == '"' && comma[1] == '"';
    at = comma;
  }
  return std::min(separators + 1, kMaxStateFileRecords);
}

// The records of a text of well-formed records (ReadWellFormedRecord), at
// most kMaxStateFileRecords, in one pass. Files the store wrote are in
// ascending byte order and go straight in; others are ordered afterwards, the
// last of equal identifiers kept, as the thorough reader keeps them. None for
// any other text, which the thorough reader then takes on (and says what is
// wrong with it).
boost::optional<RecordMap> ReadWellFormedState(const UTF8String& text) {
  RecordMap::sequence_type records;
  // Sized once: growing by copies would hold two arrays beside the text.
  records.reserve(MembersHint(kelcore::string::View(text)));
  bool ascending = true;
  auto visit = [&](std::string_view experimentId, std::string_view recordText) {
    if (records.size() == kMaxStateFileRecords) return false;
    boost::optional<VariationRecord> record = ReadWellFormedRecord(recordText);
    if (!record) return false;
    ascending = ascending &&
                (records.empty() || kelcore::string::View(records.back().first) < experimentId);
    records.emplace_back(kelcore::string::FromStd(experimentId), std::move(*record));
    return true;
  };
  if (!kelcore::serialization::VisitJSONTextMembers(kelcore::string::View(text), visit)) {
    return boost::none;
  }
  if (!ascending) {
    const auto byId = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(records.begin(), records.end(), byId);
    // Of a run of equal identifiers the last one stays.
    auto kept = records.begin();
    for (auto it = records.begin(); it != records.end(); ++it) {
      if (std::next(it) != records.end() && std::next(it)->first == it->first) continue;
      if (kept != it) *kept = std::move(*it);
      ++kept;
    }
    records.erase(kept, records.end());
  }
  RecordMap map;
  map.adopt_sequence(boost::container::ordered_unique_range, std::move(records));
  return map;
}

}  // namespace

UTF8String UniqueSiblingPath(const UTF8String& path, const char* tag) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "-%016llx", static_cast<unsigned long long>(random()));
  UTF8String sibling = path;
  sibling.push_back('.');
  sibling.append(kelcore::string::FromStd(tag));
  sibling.append(kelcore::string::FromStd(suffix));
  return sibling;
}

File StateFileAt(const UTF8String& path) {
  kelcore::string::UnicodeErrorCode error = kelcore::string::UnicodeErrorCode::kNone;
  UTF16String wide = kelcore::string::UTF8to16(path, &error);
  if (error != kelcore::string::UnicodeErrorCode::kNone) {
    throw FileError("state file path is not valid UTF-8: " + ForMessage(path));
  }
  return File(std::move(wide), StorageType::kLocal);
}

UTF8String ReadStateFile(const UTF8String& path) {
  const File file = StateFileAt(path);
  UTF8String text;
  if (kelcore::filesupport::CurrentFileSystem().Stat(file.FullPath()) ==
      kelcore::filesupport::PathKind::kMissing) {
    return text;
  }
  // Opening refuses anything but a regular file.
  kelcore::filesupport::IPlatformByteStream in(file, kStreamFlags);
  const std::uint64_t length = in.Length();
  if (length > kMaxStateFileBytes) {
    throw StateFileLimitError("state file '" + ForMessage(path) + "' is " + std::to_string(length) +
                              " bytes, over the limit of " + std::to_string(kMaxStateFileBytes) +
                              " bytes (64 MiB)");
  }
  if (length != 0) {
    text.resize(static_cast<std::size_t>(length));
    in.ReadBlock(text.data(), static_cast<std::uint32_t>(length));
  }
  in.Close();
  return text;
}

RecordMap ParseStateText(const UTF8String& text, const UTF8String& path) {
  if (boost::optional<RecordMap> records = ReadWellFormedState(text)) return std::move(*records);
  boost::optional<kelcore::serialization::JsonTextMembers> members;
  kelcore::serialization::JsonParseFailure failure;
  try {
    members = kelcore::serialization::JSONParseTextMembers(text, kMaxStateFileRecords, &failure);
  } catch (const kelcore::serialization::JsonLimitError&) {
    throw StateFileLimitError("state file '" + ForMessage(path) + "' has more than " +
                              std::to_string(kMaxStateFileRecords) + " records, the limit");
  }
  if (!members) throw StateFileError(ForMessage(path), "", failure.reason, failure.offset);
  // Where a member's problem is, for the message: found again only then.
  const auto fail = [&](const UTF8String& experimentId, const std::string& reason) {
    const auto where = kelcore::serialization::LocateJSONMember(text, experimentId);
    throw StateFileError(ForMessage(path), ForMessage(experimentId),
                         reason.empty() ? std::string("the value is ") + where->kind +
                                              "; expected a string holding the record"
                                        : reason,
                         where->offset);
  };
  RecordMap records;
  records.reserve(members->size());
  for (auto& [experimentId, recordText] : *members) {
    if (!recordText) fail(experimentId, "");
    VariationRecord record;
    try {
      record = ParseStoredRecord(*recordText);
    } catch (const RecordError& e) {
      fail(experimentId, e.Reason());
    }
    recordText.reset();  // keeps the load's peak memory near the store's own size
    // Members come in ascending order: each one goes at the end.
    records.emplace_hint(records.end(), std::move(experimentId), std::move(record));
  }
  return records;
}

RecordMap LoadStateFile(const UTF8String& path) {
  const UTF8String text = ReadStateFile(path);
  if (text.empty()) return RecordMap();
  return ParseStateText(text, path);
}

UTF8String SerializeState(const RecordMap& records, const UTF8String& path) {
  if (records.size() > kMaxStateFileRecords) {
    throw FileError("cannot save '" + ForMessage(path) + "': " + std::to_string(records.size()) +
                    " records exceed the limit of " + std::to_string(kMaxStateFileRecords));
  }
  // Records are in byte order of identifier, as a JsonObject would keep them.
  kelcore::serialization::JsonObjectWriter root;
  for (const auto& [experimentId, record] : records) {
    if (!kelcore::string::IsValidUTF8(experimentId)) continue;
    root.Add(experimentId, SerializeRecord(record));
  }
  UTF8String text = root.Finish();
  if (text.size() > kMaxStateFileBytes) {
    throw FileError("cannot save '" + ForMessage(path) + "': " + std::to_string(text.size()) +
                    " bytes exceed the limit of " + std::to_string(kMaxStateFileBytes) +
                    " bytes (64 MiB)");
  }
  return text;
}

namespace {

// Writes a new temporary file beside the state file at `statePath` (named so
// that the next save sweeps it when a crash leaves it), with the permissions
// of `permissionsOf`, fills it with `write`, flushes it, renames it over
// `target` and flushes the folder. See WriteStateFileAtomically.
void ReplaceAtomically(
    const UTF8String& statePath, const File& target, const File& permissionsOf,
    const std::function<void(kelcore::filesupport::OPlatformByteStream&)>& write) {
  const File temp = StateFileAt(UniqueSiblingPath(statePath, "tmp"));
  {
    // Throws, creating nothing, when anything is at the temporary name.
    kelcore::filesupport::OPlatformByteStream out(temp, permissionsOf);
    try {
      write(out);
      out.Flush();
      out.Close();
    } catch (...) {
      temp.Delete();
      throw;
    }
  }
  try {
    target.ReplaceWith(temp);
  } catch (...) {
    temp.Delete();
    throw;
  }
  // Without this a power loss could bring back the old folder entry.
  kelcore::filesupport::CurrentFileSystem().SyncDirectory(target.Parent().FullPath());
}

}  // namespace

void WriteStateFileAtomically(const UTF8String& path, const UTF8String& text) {
  const File target = StateFileAt(path);
  ReplaceAtomically(path, target, target, [&](kelcore::filesupport::OPlatformByteStream& out) {
    out.WriteBlock(text.data(), static_cast<std::uint32_t>(text.size()));
  });
}

void BackUpStateFile(const UTF8String& path, const UTF8String& backup) {
  const File state = StateFileAt(path);
  kelcore::filesupport::IPlatformByteStream in(state, kStreamFlags);
  const std::uint64_t length = in.Length();
  ReplaceAtomically(
      path, StateFileAt(backup), state, [&](kelcore::filesupport::OPlatformByteStream& out) {
        // Any size: a file over the limits is backed up too.
        std::string block(std::size_t{1} << 16, '\0');
        for (std::uint64_t left = length; left != 0;) {
          const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, block.size()));
          in.ReadBlock(block.data(), n);
          out.WriteBlock(block.data(), n);
          left -= n;
        }
      });
  in.Close();
}

}  // namespace kelabexperiment
