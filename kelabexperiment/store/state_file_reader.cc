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
    const std::string_view recordText = member.content;
    const bool ascending = records_.empty() ||
                           kelcore::string::View(records_.back().first) < kelcore::string::View(id);
    // Read where it is kept; a record that fails is taken back.
    records_.emplace_back(std::move(id), VariationRecord());
    try {
      ReadStoredRecord(recordText, records_.back().second);
    } catch (const RecordError& e) {
      failures_[std::move(records_.back().first)] = {member.valueOffset, e.Reason()};
      records_.pop_back();
      return;
    }
    ascending_ = ascending_ && ascending;
  }

  // Where the reader writes each record's text.
  JsonContentBuffer* RecordTextBuffer() { return &recordText_; }

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
  JsonContentBuffer recordText_;  // each record's text, its escapes resolved
  std::size_t members_ = 0;
  bool ascending_ = true;
};

StateFileError WholeFileError(const UTF8String& path, const JsonTextError& e) {
  return StateFileError(ForMessage(path), "", e.Reason(), e.Offset());
}

// One piece of a state file, read behind room for the end of the member the
// piece before it cut, so that the two make one window without copying the
// piece. Its bytes are never initialized before the read fills them.
class Piece {
 public:
  explicit Piece(std::size_t size)
      : size_(size), block_(STLAllocator<char>().allocate(kStateFilePieceRoom + size)) {}
  Piece(Piece&& other) noexcept
      : size_(other.size_), block_(std::exchange(other.block_, nullptr)) {}
  Piece& operator=(Piece&&) = delete;
  ~Piece() { Release(); }

  char* Data() const noexcept { return block_ + kStateFilePieceRoom; }
  std::string_view View() const noexcept { return std::string_view(Data(), size_); }
  // The window of `tail` (at most kStateFilePieceRoom bytes), copied right
  // before the piece's bytes, and the piece.
  std::string_view Behind(std::string_view tail) const noexcept {
    char* const at = Data() - tail.size();
    std::memmove(at, tail.data(), tail.size());
    return std::string_view(at, tail.size() + size_);
  }
  void Release() noexcept {
    if (block_ != nullptr) STLAllocator<char>().deallocate(block_, kStateFilePieceRoom + size_);
    block_ = nullptr;
  }

 private:
  std::size_t size_;
  char* block_;
};

// The bytes of a state file, in the pieces it was read in, given to the
// reader as windows: a piece, behind the end of the last window that the
// reader could not finish.
class Pieces {
 public:
  Pieces(platform::ReadableFile& in, std::uint64_t size) {
    pieces_.reserve(static_cast<std::size_t>(size / kStateFilePieceBytes + 1));
    for (std::uint64_t left = size; left != 0;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kStateFilePieceBytes));
      pieces_.emplace_back(n);
      in.Read(pieces_.back().Data(), n);
      left -= n;
    }
  }

  // The member count CountSeparators would give for the whole text.
  std::size_t Hint() const {
    std::size_t separators = 0;
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      const std::string_view a = pieces_[i].View();
      separators += CountSeparators(a);
      if (i + 1 == pieces_.size()) break;
      // The separators that straddle this piece's end.
      const std::string_view b = pieces_[i + 1].View();
      const char after = b.size() > 1 ? b[1] : '\0';
      separators += a.size() > 1 && a[a.size() - 2] == '"' && a.back() == ',' && b[0] == '"';
      separators += a.back() == '"' && b[0] == ',' && after == '"';
    }
    return MembersHint(separators);
  }

  // Whether the last window holds the end of the file.
  bool Done() const { return next_ == pieces_.size(); }

  // The first window: the first piece. REQUIRES: the file is not empty.
  std::string_view First() {
    next_ = 1;
    return pieces_[0].View();
  }

  // The window after one whose reading stopped at `tail`, its unread end:
  // the tail and the next piece, or, for a tail longer than the room before
  // a piece, a copy of the tail and of pieces at least as long as it, so
  // that a member of many pieces is read again at most once more in all.
  // Pieces behind the new window are given back. REQUIRES: !Done().
  std::string_view Next(std::string_view tail) {
    if (tail.size() <= kStateFilePieceRoom) {
      const std::size_t piece = next_++;
      const std::string_view window = pieces_[piece].Behind(tail);
      Bytes().swap(carry_);
      GiveBackTo(piece);
      return window;
    }
    // The carry is kept only while it is the window, so a tail is in it
    // whenever there is one.
    if (!carry_.empty()) {
      carry_.erase(0, static_cast<std::size_t>(tail.data() - carry_.data()));
    } else {
      carry_.assign(tail.data(), tail.size());
    }
    GiveBackTo(next_);
    std::size_t added = 0;
    do {
      carry_.append(pieces_[next_].View());
      added += pieces_[next_].View().size();
      pieces_[next_++].Release();
    } while (added < tail.size() && !Done());
    return carry_;
  }

 private:
  // Gives back every piece before `end`.
  void GiveBackTo(std::size_t end) noexcept {
    for (; released_ < end; ++released_) pieces_[released_].Release();
  }

  std::vector<Piece, STLAllocator<Piece>> pieces_;
  std::size_t next_ = 0;      // the first piece not yet in a window
  std::size_t released_ = 0;  // the first piece not yet given back
  Bytes carry_;               // a window over several pieces, when one is needed
};

}  // namespace

RecordMap ParseStateText(std::string_view text, const UTF8String& path) {
  RecordCollector records(path, MembersHint(CountSeparators(text)));
  JsonObjectReader reader(text, 0, true, JsonObjectReader::Step::kOpen, records.RecordTextBuffer());
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
  std::string_view window = pieces.First();
  std::uint64_t base = 0;
  JsonObjectReader::Step step = JsonObjectReader::Step::kOpen;
  JsonMember member;
  try {
    for (;;) {
      JsonObjectReader reader(window, base, pieces.Done(), step, records.RecordTextBuffer());
      try {
        while (reader.Next(member)) records.Add(member);
        break;
      } catch (const JsonWindowEnd&) {
        window = pieces.Next(window.substr(static_cast<std::size_t>(reader.ResumeOffset() - base)));
        base = reader.ResumeOffset();
        step = reader.ResumeStep();
      }
    }
  } catch (const JsonTextError& e) {
    throw WholeFileError(path, e);
  }
  return records.Finish();
}

}  // namespace kelabexperiment
