#include "kelcore/utility/immutable_string.h"

#include <deque>
#include <string_view>
#include <unordered_map>

#include "kelcore/string/conversions.h"
#include "kelcore/threads/mutex.h"

namespace kelcore::utility {

struct ImmutableString::Entry {
  std::uint64_t handle;
  UTF8String text;
};

namespace {

class InternTable {
 public:
  const ImmutableString::Entry* Intern(std::string_view text) KEL_EXCLUDES(mutex_) {
    threads::MutexLock lock(&mutex_);
    auto it = index_.find(text);
    if (it != index_.end()) return it->second;
    entries_.push_back(ImmutableString::Entry{entries_.size(), string::FromStd(text)});
    const ImmutableString::Entry* entry = &entries_.back();
    index_.emplace(string::View(entry->text), entry);
    return entry;
  }

 private:
  // A plain mutex: the MinGW runtime's reader-writer lock corrupts this table
  // when several threads take it for the first time together.
  threads::Mutex mutex_;
  // Stable addresses; index = handle. An entry never changes once added.
  std::deque<ImmutableString::Entry> entries_ KEL_GUARDED_BY(mutex_);
  std::unordered_map<std::string_view, const ImmutableString::Entry*> index_ KEL_GUARDED_BY(mutex_);
};

// Never destroyed: immutable strings held by other static objects may outlive
// any destruction order we could pick.
InternTable& Table() {
  static InternTable* table = new InternTable;
  return *table;
}

}  // namespace

ImmutableString::ImmutableString() : ImmutableString(Table().Intern(std::string_view())) {}

ImmutableString::ImmutableString(const Entry* entry) noexcept
    : handle_(entry->handle), entry_(entry) {}

ImmutableString ImmutableString::_PrivateCreateStatic(const char* literal) {
  return ImmutableString(Table().Intern(std::string_view(literal)));
}

ImmutableString ImmutableString::Create(const UTF8String& text) {
  return ImmutableString(Table().Intern(string::View(text)));
}

const UTF8String& ImmutableString::Text() const noexcept { return entry_->text; }

UTF16String ImmutableString::ToString() const { return string::UTF8to16(entry_->text); }

}  // namespace kelcore::utility
