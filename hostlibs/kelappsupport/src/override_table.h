#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "kelappsupport/feature/feature_overrides.h"
#include "kelcore/allocator/stl_allocator.h"
#include "override_index.h"

namespace kelappsupport::feature {

// An override's value: an int, or a view of its text.
using StoredValue = std::variant<int, std::string_view>;

// One override as the table holds it. The views point into the table and
// stay valid until the table next changes.
struct OverrideView {
  std::string_view name;
  StoredValue value;
  OverrideDataCategory category;
};

// The feature service's overrides, packed for millions of short names: a
// name and its text sit side by side in one byte arena, each override is a
// 12-byte entry, and an OverrideIndex finds entries by name. A name of 16 MiB
// or more, or a category beyond the entry's 7 bits, is "wide": its size and
// category then sit in an 8-byte header before the name. Replaced texts
// and removed overrides leave garbage, compacted away once it makes up half
// of what the table holds. Not thread-safe.
//
// Limits: names and texts take at most 4 GiB in all, a name less than 2 GiB;
// a set beyond them throws std::length_error and changes nothing.
// REQUIRES (every call): views passed in do not point into the table.
class OverrideTable {
 public:
  std::optional<OverrideView> Find(std::string_view name) const;
  // Sets the override of `name`, replacing any.
  void Set(std::string_view name, StoredValue value, OverrideDataCategory category);
  // Drops the override of `name`; false when there was none.
  bool Remove(std::string_view name);
  // Drops every override and releases the memory.
  void Clear();
  // Sizes the table for `count` overrides taking `bytes` of names and texts,
  // those held included, so that filling it up to there allocates nothing
  // (until a compaction sizes the arena to what is live). Shrinks nothing.
  // Throws std::length_error beyond the limits.
  void Reserve(std::size_t count, std::size_t bytes);

  // Calls `visit(const OverrideView&)` for every override, in no set order.
  template <typename Visit>
  void ForEach(const Visit& visit) const {
    for (const Entry& entry : entries_) {
      if (entry.offset != kFree) visit(ViewOf(entry));
    }
  }
  std::size_t size() const noexcept { return index_.size(); }

  // What the table's memory holds, for tests of its bounds.
  struct Usage {
    std::size_t arenaBytes;  // garbage included
    std::size_t garbageBytes;
    std::size_t arenaCapacity;
    std::size_t entries;  // live and free
    std::size_t entryCapacity;
    std::size_t slots;
  };
  Usage GetUsage() const noexcept;

 private:
  static constexpr std::uint32_t kFree = 0xFFFFFFFFu;  // offset of a free entry

  static constexpr std::uint32_t kWideName = 0xFFFFFF;  // nameSize of a wide entry
  static constexpr std::uint32_t kWideHeader = 8;       // its name size, its category

  struct Entry {
    std::uint32_t offset;         // the first byte (header, else name); the text follows the name
    std::uint32_t value;          // the int's bits, or the text's size; next free entry
    std::uint32_t nameSize : 24;  // kWideName: in the header
    std::uint32_t isText : 1;
    std::uint32_t category : 7;  // of a narrow entry
  };
  static_assert(sizeof(Entry) == 12, "an entry is three words");

  static bool Wide(const Entry& entry) noexcept { return entry.nameSize == kWideName; }
  static bool NeedsWide(std::size_t nameSize, OverrideDataCategory category) noexcept {
    return nameSize >= kWideName || static_cast<std::uint32_t>(category) > 0x7F;
  }
  std::uint32_t HeaderWord(const Entry& entry, std::size_t word) const noexcept;
  std::size_t NameStart(const Entry& entry) const noexcept {
    return entry.offset + (Wide(entry) ? kWideHeader : 0);
  }
  std::size_t NameSize(const Entry& entry) const noexcept {
    return Wide(entry) ? HeaderWord(entry, 0) : entry.nameSize;
  }
  std::string_view NameOf(const Entry& entry) const noexcept {
    return {arena_.data() + NameStart(entry), NameSize(entry)};
  }
  std::size_t TextSize(const Entry& entry) const noexcept { return entry.isText ? entry.value : 0; }
  // Every arena byte of the entry: header, name and text.
  std::size_t StoredSize(const Entry& entry) const noexcept {
    return NameStart(entry) - entry.offset + NameSize(entry) + TextSize(entry);
  }
  OverrideView ViewOf(const Entry& entry) const noexcept;
  std::size_t FindSlot(std::string_view name, std::uint32_t tag) const;
  void Encode(Entry& entry, const StoredValue& value, OverrideDataCategory category);
  void Insert(std::string_view name, std::uint32_t tag, const StoredValue& value,
              OverrideDataCategory category);
  void Replace(Entry& entry, std::string_view name, const StoredValue& value,
               OverrideDataCategory category);
  // Appends the name and the text, after a header when `wide`; sets the
  // entry's offset and name size.
  void Append(Entry& entry, std::string_view name, std::string_view text, bool wide);
  void CompactIfWasteful();
  void Compact();

  std::vector<char, kelcore::allocator::STLAllocator<char>> arena_;
  std::vector<Entry, kelcore::allocator::STLAllocator<Entry>> entries_;
  OverrideIndex index_;
  std::size_t garbage_ = 0;  // arena bytes no entry refers to
  std::uint32_t freeHead_ = kFree;
  std::size_t freeCount_ = 0;
};

}  // namespace kelappsupport::feature
