#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/kelcore.h"

namespace kelabexperiment {

// A text that is not the JSON its reader expects: the byte where the problem
// is and the reason in words ("the document ends before it is complete").
class JsonTextError : public std::runtime_error {
 public:
  JsonTextError(std::size_t offset, const std::string& reason)
      : std::runtime_error(reason), offset_(offset) {}
  std::size_t Offset() const noexcept { return offset_; }
  std::string Reason() const { return what(); }

 private:
  std::size_t offset_;
};

// Thrown by a reader whose window is not the end of its text when it needs
// bytes past the window: the caller goes on with a longer window from the
// reader's ResumeOffset().
struct JsonWindowEnd {};

// The deepest nesting of arrays and objects a document may have.
inline constexpr std::size_t kJsonMaxDepth = 64;

// A JSON string as it is written between its quotes, already checked: its
// escapes are valid and its bytes UTF-8. `escaped` tells whether it holds any
// escape, so that a string without one is its own content.
struct JsonRawString {
  std::string_view raw;
  bool escaped = false;
};

// Writes the content of `string` (escapes resolved) at `out` and returns the
// number of bytes written, at most `string.raw.size()`.
std::size_t Unescape(JsonRawString string, char* out) noexcept;

// Appends the content of `string` to `out`, a std::string or a UTF8String.
template <typename Text>
void AppendUnescaped(JsonRawString string, Text& out) {
  const std::size_t at = out.size();
  out.resize(at + string.raw.size());
  out.resize(at + Unescape(string, reinterpret_cast<char*>(&out[0]) + at));
}

// The content of `string` as a new text, a std::string or a UTF8String.
template <typename Text>
Text Unescaped(JsonRawString string) {
  // By pointer, so that the bytes are copied as a block whatever the text's
  // character type.
  using Char = typename Text::value_type;
  if (!string.escaped)
    return Text(reinterpret_cast<const Char*>(string.raw.data()), string.raw.size());
  Text out;
  AppendUnescaped(string, out);
  return out;
}

// Where a reader writes the content of the string values it reads, when
// given one: grown as needed and never shrunk; its size is its room, not
// the content's length.
using JsonContentBuffer = std::basic_string<char, std::char_traits<char>, STLAllocator<char>>;

// One member of an object, as JsonObjectReader gives it. The views are valid
// until the reader's next call and while its text lives.
struct JsonMember {
  JsonRawString name;
  JsonRawString text;             // the value, when it is a string
  std::string_view content;       // its content, escapes resolved, from a reader given a
                                  // JsonContentBuffer
  const char* kind = nullptr;     // null for a string; else "a number", "an object", "an array",
                                  // "a boolean" or "null"
  std::uint64_t valueOffset = 0;  // where the value starts, counted from the text's start
};

// Reads a JSON document (RFC 8259) that must be an object, member by member,
// in one pass and without building anything: a string value is given as
// written, any other value is checked and skipped. Every part is checked as
// it is read: the grammar, escapes, UTF-8, nesting (at most kJsonMaxDepth
// levels) and numbers (any number a double holds after rounding; one beyond
// its range, such as 1e400, is refused, while 1e-400 reads as zero). A problem
// is a JsonTextError with the offset of the byte where it is. Not
// thread-safe; one reader per text.
class JsonObjectReader {
 public:
  // Where the reader is between members.
  enum class Step : std::uint8_t {
    kOpen,    // before the opening brace
    kFirst,   // after it
    kNext,    // after a member
    kClosed,  // after the closing brace: only white space may follow
  };

  // Reads `window`: the bytes of the text from byte `base` on, the end of the
  // text when `last`, else JsonWindowEnd is thrown for bytes past it. `step`
  // says where the reader stands at the window's start. With `content`, each
  // string value is also written there, escapes resolved, as it is read: one
  // pass instead of a second one over the value. The buffer must outlive
  // the reader's use.
  explicit JsonObjectReader(std::string_view window, std::uint64_t base = 0, bool last = true,
                            Step step = Step::kOpen, JsonContentBuffer* content = nullptr);

  // Reads the next member into `member`, opening the object first; false at
  // the closing brace, after checking that only white space follows.
  bool Next(JsonMember& member);

  // Where the call that threw JsonWindowEnd began, and in which step: to go
  // on from there with a longer window.
  std::uint64_t ResumeOffset() const noexcept { return base_ + resumeAt_; }
  Step ResumeStep() const noexcept { return resumeStep_; }

 private:
  [[noreturn]] void Fail(const char* at, const std::string& reason) const;
  [[noreturn]] void Ended() const;
  [[noreturn]] void FailExpecting(char c) const;
  // Inline: called for every member, and most often with nothing to do.
  void SkipSpace() noexcept {
    // A byte above ' ' is no white space.
    if (p_ != end_ && static_cast<unsigned char>(*p_) <= ' ') SkipSpaceAfter();
  }
  void SkipSpaceAfter() noexcept;
  char Peek() {
    if (p_ == end_) Ended();
    return *p_;
  }
  void Expect(char c) {
    if (Peek() != c) FailExpecting(c);
    ++p_;
  }
  template <bool kDecode>
  JsonRawString ReadString(std::string_view* content = nullptr);
  // Reads past a value at `depth` and says what it was ("a string", "an
  // object", ...).
  const char* SkipValue(std::size_t depth);
  void SkipContainer(std::size_t depth);
  void SkipLiteral(std::string_view literal);
  void SkipNumber();
  std::uint64_t OffsetOf(const char* at) const noexcept {
    return base_ + static_cast<std::uint64_t>(at - begin_);
  }

  const char* const begin_;
  const char* const end_;
  const char* p_;
  const std::uint64_t base_;
  const bool last_;
  Step step_;
  JsonContentBuffer* const content_;
  std::size_t resumeAt_ = 0;
  Step resumeStep_;
};

// Whether the number written `text` (RFC 8259 grammar, already checked) is
// within a double's range after rounding: false only for an overflow, such
// as 1e400 or 1.7976931348623159e309; underflows, like 1e-400, are zero.
bool NumberFitsADouble(std::string_view text) noexcept;

}  // namespace kelabexperiment
