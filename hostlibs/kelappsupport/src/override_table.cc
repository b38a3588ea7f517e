#include "override_table.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace kelappsupport::feature {
namespace {

// Offsets are 32 bits wide, and the all-ones offset marks a free entry.
constexpr std::size_t kMaxArena = 0xFFFFFFFFu;
constexpr std::size_t kMaxName = 0x7FFFFFFFu;
// Below this much waste a table is too small for compacting to pay.
constexpr std::size_t kMinWaste = 4096;

[[noreturn]] void TooLarge() {
  throw std::length_error("feature overrides: more names and texts than the table can hold");
}

}  // namespace

std::uint32_t OverrideTable::HeaderWord(const Entry& entry, std::size_t word) const noexcept {
  std::uint32_t value;
  std::memcpy(&value, arena_.data() + entry.offset + word * sizeof value, sizeof value);
  return value;
}

OverrideView OverrideTable::ViewOf(const Entry& entry) const noexcept {
  const std::string_view name = NameOf(entry);
  StoredValue value = static_cast<int>(entry.value);
  if (entry.isText) value = std::string_view(name.data() + name.size(), entry.value);
  const auto category =
      static_cast<OverrideDataCategory>(Wide(entry) ? HeaderWord(entry, 1) : entry.category);
  return {name, value, category};
}

std::size_t OverrideTable::FindSlot(std::string_view name, std::uint32_t tag) const {
  return index_.Find(tag, [&](std::uint32_t number) { return NameOf(entries_[number]) == name; });
}

std::optional<OverrideView> OverrideTable::Find(std::string_view name) const {
  if (index_.size() == 0) return std::nullopt;  // no name to hash
  const std::size_t slot = FindSlot(name, NameTag(name));
  if (slot == OverrideIndex::kNotFound) return std::nullopt;
  return ViewOf(entries_[index_.EntryAt(slot)]);
}

void OverrideTable::Set(std::string_view name, StoredValue value, OverrideDataCategory category) {
  const std::uint32_t tag = NameTag(name);
  const std::size_t slot = FindSlot(name, tag);
  if (slot == OverrideIndex::kNotFound) {
    Insert(name, tag, value, category);
  } else {
    Replace(entries_[index_.EntryAt(slot)], name, value, category);
  }
}

// REQUIRES: the entry is wide exactly when NeedsWide says so.
void OverrideTable::Encode(Entry& entry, const StoredValue& value, OverrideDataCategory category) {
  const auto* text = std::get_if<std::string_view>(&value);
  entry.isText = text != nullptr;
  entry.value = text ? static_cast<std::uint32_t>(text->size())
                     : static_cast<std::uint32_t>(std::get<int>(value));
  const auto code = static_cast<std::uint32_t>(category);
  if (Wide(entry)) {
    std::memcpy(arena_.data() + entry.offset + sizeof code, &code, sizeof code);
  } else {
    entry.category = code;
  }
}

void OverrideTable::Insert(std::string_view name, std::uint32_t tag, const StoredValue& value,
                           OverrideDataCategory category) {
  if (freeHead_ == kFree) {
    if (entries_.size() >= OverrideIndex::kMaxEntries) TooLarge();
    // Grown first, so that nothing below can fail once the arena has changed.
    if (entries_.size() == entries_.capacity()) {
      entries_.reserve(std::max<std::size_t>(8, 2 * entries_.capacity()));
    }
  }
  const std::size_t mark = arena_.size();
  const auto* text = std::get_if<std::string_view>(&value);
  Entry entry{};
  Append(entry, name, text ? *text : std::string_view(), NeedsWide(name.size(), category));
  Encode(entry, value, category);
  const std::uint32_t number =
      freeHead_ != kFree ? freeHead_ : static_cast<std::uint32_t>(entries_.size());
  try {
    index_.Insert(tag, number);
  } catch (...) {
    arena_.resize(mark);
    throw;
  }
  if (freeHead_ == kFree) {
    entries_.push_back(entry);
    return;
  }
  freeHead_ = entries_[number].value;
  --freeCount_;
  entries_[number] = entry;
}

void OverrideTable::Replace(Entry& entry, std::string_view name, const StoredValue& value,
                            OverrideDataCategory category) {
  const std::size_t oldText = TextSize(entry);
  const auto* text = std::get_if<std::string_view>(&value);
  const std::size_t newText = text ? text->size() : 0;
  const bool wide = NeedsWide(name.size(), category);
  if (newText > oldText || wide != Wide(entry)) {
    // It does not fit where it was: header, name and text move to the end.
    const std::size_t oldSize = StoredSize(entry);
    Append(entry, name, text ? *text : std::string_view(), wide);
    garbage_ += oldSize;
  } else {
    if (text)
      std::copy(text->begin(), text->end(), arena_.begin() + NameStart(entry) + name.size());
    garbage_ += oldText - newText;
  }
  Encode(entry, value, category);
  CompactIfWasteful();
}

bool OverrideTable::Remove(std::string_view name) {
  // A host's start-up withdraws every experiment's overrides from an empty
  // table: no name to hash then.
  if (index_.size() == 0) return false;
  const std::size_t slot = FindSlot(name, NameTag(name));
  if (slot == OverrideIndex::kNotFound) return false;
  const std::uint32_t number = index_.EntryAt(slot);
  index_.Erase(slot);
  Entry& entry = entries_[number];
  garbage_ += StoredSize(entry);
  entry = Entry{kFree, freeHead_, 0, 0, 0};
  freeHead_ = number;
  ++freeCount_;
  CompactIfWasteful();
  return true;
}

void OverrideTable::Clear() {
  decltype(arena_)().swap(arena_);
  decltype(entries_)().swap(entries_);
  index_.Clear(true);
  garbage_ = 0;
  freeHead_ = kFree;
  freeCount_ = 0;
}

void OverrideTable::Reserve(std::size_t count, std::size_t bytes) {
  if (count > OverrideIndex::kMaxEntries || bytes > kMaxArena) TooLarge();
  // Free entries are reused before new ones are added, so `count` entries
  // in all is enough; the garbage stays where it is until a compaction.
  entries_.reserve(count);
  arena_.reserve(std::min(kMaxArena, garbage_ + bytes));
  index_.Reserve(count);
}

OverrideTable::Usage OverrideTable::GetUsage() const noexcept {
  return {arena_.size(),       garbage_,          arena_.capacity(), entries_.size(),
          entries_.capacity(), index_.SlotCount()};
}

void OverrideTable::Append(Entry& entry, std::string_view name, std::string_view text, bool wide) {
  const std::size_t offset = arena_.size();
  const std::size_t header = wide ? kWideHeader : 0;
  if (name.size() > kMaxName || text.size() > kMaxArena ||
      header + name.size() + text.size() > kMaxArena - offset) {
    TooLarge();
  }
  // Doubled ahead of every copy, so that a failure leaves the arena as it was.
  const std::size_t needed = offset + header + name.size() + text.size();
  if (needed > arena_.capacity()) arena_.reserve(std::max(needed, 2 * arena_.capacity()));
  // One resize and two plain copies: a range insert per piece costs several
  // times more for names this short.
  arena_.resize(needed);
  char* out = arena_.data() + offset;
  entry.offset = static_cast<std::uint32_t>(offset);
  entry.nameSize = wide ? kWideName : static_cast<std::uint32_t>(name.size());
  if (wide) {
    const auto size = static_cast<std::uint32_t>(name.size());
    std::memcpy(out, &size, sizeof size);  // the category follows in Encode
    out += header;
  }
  if (!name.empty()) std::memcpy(out, name.data(), name.size());
  if (!text.empty()) std::memcpy(out + name.size(), text.data(), text.size());
}

void OverrideTable::CompactIfWasteful() {
  const std::size_t waste = garbage_ + freeCount_ * sizeof(Entry);
  const std::size_t held = arena_.size() + entries_.size() * sizeof(Entry);
  if (waste < kMinWaste || 2 * waste <= held) return;
  try {
    Compact();
  } catch (const std::bad_alloc&) {
    // The table is whole without compacting; the next change tries again.
  }
}

void OverrideTable::Compact() {
  decltype(arena_) arena;
  arena.reserve(arena_.size() - garbage_);  // the only step that can fail
  std::uint32_t kept = 0;
  for (const Entry& entry : entries_) {
    if (entry.offset == kFree) continue;
    const auto bytes = arena_.begin() + entry.offset;
    Entry moved = entry;
    moved.offset = static_cast<std::uint32_t>(arena.size());
    arena.insert(arena.end(), bytes, bytes + StoredSize(entry));
    entries_[kept++] = moved;  // never ahead of `entry`
  }
  entries_.resize(kept);
  arena_.swap(arena);
  garbage_ = 0;
  freeHead_ = kFree;
  freeCount_ = 0;
  // Entry numbers changed; the slots already have room for all of them.
  index_.Clear(false);
  for (std::uint32_t number = 0; number < kept; ++number) {
    index_.Insert(NameTag(NameOf(entries_[number])), number);
  }
}

}  // namespace kelappsupport::feature
