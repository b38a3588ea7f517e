#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "kelcore/allocator/stl_allocator.h"

namespace kelappsupport::feature {

// A 32-bit hash of a name: the index keeps it in every slot, so that probing
// rarely has to look at a name, and growing never has to.
std::uint32_t NameTag(std::string_view name) noexcept;

// Open-addressing index from a name's tag to the number of the entry that
// holds the name; the entries themselves live elsewhere. Slots are probed
// linearly and at most three quarters of them are in use (entries or
// tombstones). Not thread-safe.
class OverrideIndex {
 public:
  static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
  // Entry numbers go up to, not including, this.
  static constexpr std::uint32_t kMaxEntries = 0xFFFFFFFEu;

  // The slot that holds the entry under `tag` for which `matches(entry)`
  // holds, or kNotFound.
  template <typename Matches>
  std::size_t Find(std::uint32_t tag, const Matches& matches) const {
    if (slots_.empty()) return kNotFound;
    for (std::size_t i = Home(tag);; i = Next(i)) {
      const Slot& slot = slots_[i];
      if (slot.entry == kEmpty) return kNotFound;
      if (slot.entry != kTombstone && slot.tag == tag && matches(slot.entry)) return i;
    }
  }
  std::uint32_t EntryAt(std::size_t slot) const { return slots_[slot].entry; }

  // Adds `entry` under `tag`; doubles the slots when they run short.
  // REQUIRES: entry < kMaxEntries, and no entry of the same name is indexed.
  void Insert(std::uint32_t tag, std::uint32_t entry);
  // Leaves a tombstone in `slot`. REQUIRES: `slot` came from Find.
  void Erase(std::size_t slot) noexcept;
  // Makes room for `count` entries in all, so that inserting up to that many
  // does not grow the slots again.
  void Reserve(std::size_t count);
  // Forgets every entry; keeps the slots when `release` is false.
  void Clear(bool release);

  std::size_t SlotCount() const noexcept { return slots_.size(); }
  std::size_t size() const noexcept { return live_; }

 private:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  static constexpr std::uint32_t kTombstone = 0xFFFFFFFEu;

  struct Slot {
    std::uint32_t tag;
    std::uint32_t entry;
  };

  // Maps the tag onto [0, slot count) by a multiply, so any count works and
  // a reservation is sized exactly rather than to a power of two.
  std::size_t Home(std::uint32_t tag) const noexcept {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(tag) * slots_.size()) >> 32);
  }
  std::size_t Next(std::size_t i) const noexcept { return i + 1 == slots_.size() ? 0 : i + 1; }
  std::size_t Previous(std::size_t i) const noexcept { return (i == 0 ? slots_.size() : i) - 1; }
  // Places every entry again in `count` slots, dropping the tombstones.
  void Rehash(std::size_t count);

  std::vector<Slot, kelcore::allocator::STLAllocator<Slot>> slots_;
  std::size_t live_ = 0;
  std::size_t tombstones_ = 0;
};

}  // namespace kelappsupport::feature
