#include "store/state_file_reader.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/utf8.h"
#include "platform/env.h"
#include "store/json_text_reader.h"
#include "store/record_codec.h"
#include "store/state_file.h"

namespace kelabexperiment {

namespace {

using Bytes = std::basic_string<char, std::char_traits<char>, STLAllocator<char>>;

std::string ForMessage(const UTF8String& text) {
  return PrintableForMessage(kelcore::string::View(text));
}

// How many '","' separators `text` has: between two members of a compact
// text of string-valued members, and nowhere else unescaped. Plus one, the
// member count; white space between members makes it count short, so it is
// only a capacity hint.
std::size_t CountSeparators(std::string_view text) {
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
  return separators;
}

std::size_t MembersHint(std::size_t separators) {
  return std::min(separators + 1, kMaxStateFileRecords);
}

// Takes the members of a state file as the reader meets them and makes the
// records of them, as a walk of the object in byte order of identifier
// would: the last of equal identifiers, and the load's error at the first
// identifier whose (last) value is not a readable record.
class RecordCollector {
 public:
  RecordCollector(const UTF8String& path, std::size_t expected) : path_(path) {
    // Sized once: growing by copies would hold two arrays at once.
    records_.reserve(expected);
  }

  void Add(const JsonMember& member) {
    if (++members_ > kMaxStateFileRecords) {
      throw StateFileLimitError("state file '" + ForMessage(path_) + "' has more than " +
                                std::to_string(kMaxStateFileRecords) + " records, the limit");
    }
    UTF8String id = Unescaped<UTF8String>(member.name);
    if (!failures_.empty()) failures_.erase(id);
    if (member.kind != nullptr) {
      failures_[std::move(id)] = {member.valueOffset, std::string("the value is ") + member.kind +
                                                          "; expected a string holding the record"};
      return;
    }
    std::string_view recordText = member.text.raw;
    if (member.text.escaped) {
      // Grown, never shrunk or cleared: the buffer is written, not filled.
      if (recordText_.size() < recordText.size()) recordText_.resize(recordText.size());
      recordText = std::string_view(recordText_.data(), Unescape(member.text, recordText_.data()));
    }
    VariationRecord record;
    try {
      record = ReadStoredRecord(recordText);
    } catch (const RecordError& e) {
      failures_[std::move(id)] = {member.valueOffset, e.Reason()};
      return;
    }
    ascending_ = ascending_ && (records_.empty() || kelcore::string::View(records_.back().first) <
                                                        kelcore::string::View(id));
    records_.emplace_back(std::move(id), std::move(record));
  }

  RecordMap Finish() {
    if (!failures_.empty()) {
      const auto& [id, failure] = *failures_.begin();
      throw StateFileError(ForMessage(path_), ForMessage(id), failure.reason, failure.offset);
    }
    // Files the store wrote are in order already; others are ordered here.
    if (!ascending_) {
      const auto byId = [](const auto& a, const auto& b) { return a.first < b.first; };
      std::stable_sort(records_.begin(), records_.end(), byId);
      auto kept = records_.begin();
      for (auto it = records_.begin(); it != records_.end(); ++it) {
        if (std::next(it) != records_.end() && std::next(it)->first == it->first) continue;
        if (kept != it) *kept = std::move(*it);
        ++kept;
      }
      records_.erase(kept, records_.end());
    }
    RecordMap map;
    map.adopt_sequence(boost::container::ordered_unique_range, std::move(records_));
    return map;
  }

 private:
  struct Failure {
    std::uint64_t offset;
    std::string reason;
  };

  const UTF8String& path_;
  RecordMap::sequence_type records_;
  // Identifiers whose last value so far is no record, and why.
  std::map<UTF8String, Failure, std::less<UTF8String>,
           STLAllocator<std::pair<const UTF8String, Failure>>>
      failures_;
  Bytes recordText_;  // reused: a record's text, its escapes resolved
  std::size_t members_ = 0;
  bool ascending_ = true;
};

StateFileError WholeFileError(const UTF8String& path, const JsonTextError& e) {
  return StateFileError(ForMessage(path), "", e.Reason(), e.Offset());
}

// The bytes of a state file, in the pieces it was read in.
class Pieces {
 public:
  static constexpr std::size_t kPieceBytes = std::size_t{64} << 10;

  Pieces(platform::ReadableFile& in, std::uint64_t size) {
    pieces_.reserve(static_cast<std::size_t>(size / kPieceBytes + 1));
    for (std::uint64_t left = size; left != 0;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPieceBytes));
      pieces_.emplace_back(n, '\0');
      in.Read(pieces_.back().data(), n);
      left -= n;
    }
  }

  // The member count CountSeparators would give for the whole text.
  std::size_t Hint() const {
    std::size_t separators = 0;
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      separators += CountSeparators(pieces_[i]);
      if (i + 1 == pieces_.size()) break;
      // The separators that straddle this piece's end.
      const Bytes& a = pieces_[i];
      const Bytes& b = pieces_[i + 1];
      const char after = b.size() > 1 ? b[1] : '\0';
      separators += a.size() > 1 && a[a.size() - 2] == '"' && a.back() == ',' && b[0] == '"';
      separators += a.back() == '"' && b[0] == ',' && after == '"';
    }
    return MembersHint(separators);
  }

  bool Done() const { return next_ == pieces_.size(); }

  // Appends the next pieces to `window`, at least `atLeast` bytes of them when
  // the file has that many, giving each back.
  void AppendTo(Bytes& window, std::size_t atLeast) {
    std::size_t added = 0;
    do {
      window.append(pieces_[next_]);
      added += pieces_[next_].size();
      Bytes().swap(pieces_[next_]);
      ++next_;
    } while (added < atLeast && !Done());
  }

 private:
  std::vector<Bytes, STLAllocator<Bytes>> pieces_;
  std::size_t next_ = 0;
};

}  // namespace

RecordMap ParseStateText(std::string_view text, const UTF8String& path) {
  RecordCollector records(path, MembersHint(CountSeparators(text)));
  JsonObjectReader reader(text);
  JsonMember member;
  try {
    while (reader.Next(member)) records.Add(member);
  } catch (const JsonTextError& e) {
    throw WholeFileError(path, e);
  }
  return records.Finish();
}

RecordMap LoadStateFile(const UTF8String& path) {
  std::uint64_t size = 0;
  std::unique_ptr<platform::ReadableFile> in = OpenStateFile(path, size);
  if (in == nullptr || size == 0) return RecordMap();
  Pieces pieces(*in, size);
  in.reset();
  RecordCollector records(path, pieces.Hint());
  // The reader goes through a window of the text: what is left of the member
  // the last window cut, and the next pieces.
  Bytes window;
  std::uint64_t base = 0;
  JsonObjectReader::Step step = JsonObjectReader::Step::kOpen;
  JsonMember member;
  try {
    for (;;) {
      JsonObjectReader reader(window, base, pieces.Done(), step);
      try {
        while (reader.Next(member)) records.Add(member);
        break;
      } catch (const JsonWindowEnd&) {
        window.erase(0, static_cast<std::size_t>(reader.ResumeOffset() - base));
        base = reader.ResumeOffset();
        step = reader.ResumeStep();
        // A member longer than a piece is read again from its start: the
        // window at least doubles each time, so that costs a second reading
        // at most, not one per piece.
        pieces.AppendTo(window, window.size());
      }
    }
  } catch (const JsonTextError& e) {
    throw WholeFileError(path, e);
  }
  return records.Finish();
}

}  // namespace kelabexperiment
