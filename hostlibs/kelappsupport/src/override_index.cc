#include "override_index.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace kelappsupport::feature {
namespace {

constexpr std::size_t kMinSlots = 8;

// The fewest slots that hold `count` entries at a load of three quarters.
std::size_t SlotsFor(std::size_t count) { return (count * 4 + 2) / 3; }

bool Crowded(std::size_t used, std::size_t slots) { return used * 4 > slots * 3; }

}  // namespace

std::uint32_t NameTag(std::string_view name) noexcept {
  // The standard hash makes no promise about its bits; a final mix spreads
  // them over the high half that the tag keeps.
  std::uint64_t h = std::hash<std::string_view>{}(name);
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return static_cast<std::uint32_t>(h >> 32);
}

void OverrideIndex::Insert(std::uint32_t tag, std::uint32_t entry) {
  if (Crowded(live_ + tombstones_ + 1, slots_.size())) {
    // Sweeping the tombstones out at the same size pays when it frees at
    // least an eighth of the slots; otherwise the slots double.
    const bool sweep = (live_ + 1) * 8 <= slots_.size() * 5;
    Rehash(sweep ? slots_.size() : std::max(kMinSlots, 2 * slots_.size()));
  }
  std::size_t i = Home(tag);
  while (slots_[i].entry != kEmpty && slots_[i].entry != kTombstone) i = Next(i);
  if (slots_[i].entry == kTombstone) --tombstones_;
  slots_[i] = {tag, entry};
  ++live_;
}

void OverrideIndex::Erase(std::size_t slot) noexcept {
  --live_;
  if (slots_[Next(slot)].entry != kEmpty) {
    slots_[slot].entry = kTombstone;
    ++tombstones_;
    return;
  }
  // No probe goes on past an empty slot, so the tombstones just before it
  // are not needed either.
  slots_[slot].entry = kEmpty;
  for (std::size_t i = Previous(slot); slots_[i].entry == kTombstone; i = Previous(i)) {
    slots_[i].entry = kEmpty;
    --tombstones_;
  }
}

void OverrideIndex::Reserve(std::size_t count) {
  const std::size_t needed = std::max(kMinSlots, SlotsFor(count));
  if (needed > slots_.size()) Rehash(needed);
}

void OverrideIndex::Clear(bool release) {
  if (release) {
    decltype(slots_)().swap(slots_);
  } else {
    std::fill(slots_.begin(), slots_.end(), Slot{0, kEmpty});
  }
  live_ = 0;
  tombstones_ = 0;
}

void OverrideIndex::Rehash(std::size_t count) {
  decltype(slots_) old(count, Slot{0, kEmpty});
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.entry == kEmpty || slot.entry == kTombstone) continue;
    std::size_t i = Home(slot.tag);
    while (slots_[i].entry != kEmpty) i = Next(i);
    slots_[i] = slot;
  }
  tombstones_ = 0;
}

}  // namespace kelappsupport::feature
