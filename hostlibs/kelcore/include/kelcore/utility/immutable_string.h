#pragma once

#include <cstdint>

#include "kelcore/kelcore_export.h"
#include "kelcore/string/string_types.h"

namespace kelcore::utility {

// An interned, immutable UTF-8 text.
//
// Equal texts share one identity handle; handles are numbered in the order in
// which texts were first interned in this process, so ordering by handle is
// reproducible run to run and is NOT alphabetical. Interned texts live until
// the process ends. Copies are cheap (two words) and thread-safe; creating
// one from any thread is safe.
class KELCORE_EXPORT ImmutableString {
 public:
  // The empty text.
  ImmutableString();

  // Interns a NUL-terminated literal. REQUIRES: `literal` is not null.
  static ImmutableString _PrivateCreateStatic(const char* literal);
  // Interns `text` (any bytes, including NUL).
  static ImmutableString Create(const UTF8String& text);

  // The identity handle: equal for equal texts, distinct otherwise.
  std::uint64_t Handle() const noexcept { return handle_; }
  const UTF8String& Text() const noexcept;
  // The text converted to UTF-16 (ill-formed UTF-8 becomes U+FFFD).
  UTF16String ToString() const;

  friend bool operator==(const ImmutableString& a, const ImmutableString& b) noexcept {
    return a.handle_ == b.handle_;
  }
  friend bool operator!=(const ImmutableString& a, const ImmutableString& b) noexcept {
    return a.handle_ != b.handle_;
  }
  // Handle order; std::less<ImmutableString> and every std::set of them use it.
  friend bool operator<(const ImmutableString& a, const ImmutableString& b) noexcept {
    return a.handle_ < b.handle_;
  }

  struct Entry;

 private:
  explicit ImmutableString(const Entry* entry) noexcept;

  std::uint64_t handle_;  // leading word: the identity handle
  const Entry* entry_;
};

}  // namespace kelcore::utility
