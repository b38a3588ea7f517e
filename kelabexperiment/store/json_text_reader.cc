#include "store/json_text_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <system_error>
#include <tuple>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/utf8.h"

namespace kelabexperiment {
namespace {

bool IsSpecial(unsigned char c) noexcept { return c < 0x20 || c == '"' || c == '\\' || c >= 0x80; }

#if defined(__SSE2__)
// A bit per byte of `v` that ends a run of plain string bytes: a byte below
// 0x20, a quote, a backslash, or a byte above 0x7F (UTF-8 to check).
int SpecialMask(__m128i v) noexcept {
  const __m128i special = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
      // Signed: a byte above 0x7F is below 0x20 too.
      _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)));
  return _mm_movemask_epi8(special);
}
#endif

// The first special byte (see IsSpecial) at or after `p`; `end` when there
// is none. Sixteen bytes at a time where SSE2 is there (every x86-64).
const char* FirstSpecial(const char* p, const char* end) noexcept {
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (const int mask = SpecialMask(v); mask != 0)
      return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#endif
  while (p != end && !IsSpecial(static_cast<unsigned char>(*p))) ++p;
  return p;
}

// Copies the bytes from `p` up to the first backslash (or `end`) to `w`;
// returns where the copy stopped in both.
std::pair<const char*, char*> CopyToBackslash(const char* p, const char* end, char* w) noexcept {
#if defined(__SSE2__)
  const __m128i backslash = _mm_set1_epi8('\\');
  // Writing sixteen bytes is safe while sixteen are left to read: the output
  // is never longer than the input read so far.
  for (; end - p >= 16; p += 16, w += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w), v);
    if (const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(v, backslash)); mask != 0) {
      const int n = __builtin_ctz(static_cast<unsigned>(mask));
      return {p + n, w + n};
    }
  }
#endif
  while (p != end && *p != '\\') *w++ = *p++;
  return {p, w};
}

bool IsSpace(char c) noexcept { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// The value of the hexadecimal digit `c`, or -1.
int HexValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four hexadecimal digits at `p`. REQUIRES: they are there and valid.
unsigned Hex4(const char* p) noexcept {
  unsigned value = 0;
  for (int i = 0; i < 4; ++i) value = value << 4 | static_cast<unsigned>(HexValue(p[i]));
  return value;
}

char* EncodeUtf8(unsigned code, char* w) noexcept {
  if (code < 0x80) {
    *w++ = static_cast<char>(code);
  } else if (code < 0x800) {
    *w++ = static_cast<char>(0xC0 | code >> 6);
    *w++ = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *w++ = static_cast<char>(0xE0 | code >> 12);
    *w++ = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    *w++ = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *w++ = static_cast<char>(0xF0 | code >> 18);
    *w++ = static_cast<char>(0x80 | (code >> 12 & 0x3F));
    *w++ = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    *w++ = static_cast<char>(0x80 | (code & 0x3F));
  }
  return w;
}

bool IsHighSurrogate(unsigned u) noexcept { return u >= 0xD800 && u < 0xDC00; }
bool IsLowSurrogate(unsigned u) noexcept { return u >= 0xDC00 && u < 0xE000; }

// The byte each escape "\<kind>" stands for, by kind, for every escape but
// \u; 0 for 'u' and for a kind JSON does not have. A table: one lookup for
// each escape, which a record's text is full of.
struct SimpleEscapes {
  char byKind[256] = {};
  constexpr SimpleEscapes() {
    const char escapes[][2] = {{'"', '"'},  {'\\', '\\'}, {'/', '/'},  {'b', '\b'},
                               {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'}};
    for (const auto& [kind, byte] : escapes) byKind[static_cast<unsigned char>(kind)] = byte;
  }
};
constexpr SimpleEscapes kSimpleEscapes;

char SimpleEscape(char kind) noexcept {
  return kSimpleEscapes.byKind[static_cast<unsigned char>(kind)];
}

// Writes the UTF-8 of the \u escape at `p` (a valid one: a high surrogate
// has its low one after it) at `w`; returns where the escape ends and where
// the writing stopped.
std::pair<const char*, char*> DecodeUnicodeEscape(const char* p, char* w) noexcept {
  unsigned code = Hex4(p + 2);
  if (!IsHighSurrogate(code)) return {p + 6, EncodeUtf8(code, w)};
  code = 0x10000 + ((code - 0xD800) << 10) + (Hex4(p + 8) - 0xDC00);
  return {p + 12, EncodeUtf8(code, w)};
}

}  // namespace

std::size_t Unescape(JsonRawString string, char* out) noexcept {
  const char* p = string.raw.data();
  const char* const end = p + string.raw.size();
  if (!string.escaped) {
    std::memcpy(out, p, string.raw.size());
    return string.raw.size();
  }
  char* w = out;
  while (p != end) {
    std::tie(p, w) = CopyToBackslash(p, end, w);
    if (p == end) break;
    if (const char simple = SimpleEscape(p[1]); simple != 0) {
      *w++ = simple;
      p += 2;
    } else {
      std::tie(p, w) = DecodeUnicodeEscape(p, w);
    }
  }
  return static_cast<std::size_t>(w - out);
}

bool NumberFitsADouble(std::string_view text) noexcept {
  std::size_t i = text.empty() || text[0] != '-' ? 0 : 1;
  // The number is its digits, the first nonzero one at `firstNonzero`, times
  // a power of ten: only the place of that digit decides an overflow.
  std::int64_t digits = 0;
  std::int64_t firstNonzero = -1;
  const auto scan = [&] {
    for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
      if (firstNonzero < 0 && text[i] != '0') firstNonzero = digits;
    }
  };
  scan();
  const std::int64_t integerDigits = digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    scan();
  }
  if (firstNonzero < 0) return true;  // zero, whatever its exponent
  std::int64_t exponent = 0;
  bool negative = false;
  if (i < text.size()) {  // 'e' or 'E'
    ++i;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    // Past this the answer is the same; the cap keeps the sums in range.
    constexpr std::int64_t kCap = std::int64_t{1} << 40;
    for (; i < text.size(); ++i) exponent = std::min(exponent * 10 + (text[i] - '0'), kCap);
  }
  // The power of ten of the first nonzero digit's place: the double range
  // ends at 1.797...e308.
  const std::int64_t place = integerDigits - firstNonzero - 1 + (negative ? -exponent : exponent);
  if (place != 308) return place < 308;
  double value = 0;
  return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

JsonObjectReader::JsonObjectReader(std::string_view window, std::uint64_t base, bool last,
                                   Step step, JsonContentBuffer* content)
    : begin_(window.data()),
      end_(window.data() + window.size()),
      p_(window.data()),
      base_(base),
      last_(last),
      step_(step),
      content_(content),
      resumeStep_(step) {}

void JsonObjectReader::Fail(const char* at, const std::string& reason) const {
  throw JsonTextError(static_cast<std::size_t>(OffsetOf(at)), reason);
}

// The window ends where more is needed: the text ends too soon, or the
// caller has more of it.
void JsonObjectReader::Ended() const {
  if (!last_) throw JsonWindowEnd();
  Fail(end_, "the document ends before it is complete");
}

void JsonObjectReader::SkipSpaceAfter() noexcept {
  while (p_ != end_ && IsSpace(*p_)) ++p_;
}

void JsonObjectReader::FailExpecting(char c) const {
  Fail(p_, std::string("expected '") + c + "'");
}

template <bool kDecode>
JsonRawString JsonObjectReader::ReadString(std::string_view* content) {
  const char* const open = p_;  // at the quote
  const char* p = open + 1;
  bool escaped = false;
  // With kDecode, the content is written at `w`, with room before `wEnd` for
  // a block of sixteen bytes or an escape's UTF-8, and given in `content`.
  char* w = nullptr;
  char* wEnd = nullptr;
  constexpr std::ptrdiff_t kRoom = 16 + 4;
  const auto makeRoom = [&] {
    const auto at = static_cast<std::size_t>(w - content_->data());
    content_->resize(std::max(2 * content_->size(), at + 256));
    w = content_->data() + at;
    wEnd = content_->data() + content_->size();
  };
  if constexpr (kDecode) {
    w = content_->data();
    wEnd = w + content_->size();
  }
  for (;;) {
    if constexpr (kDecode) {
      // Sixteen bytes are written at a time; those past the run are written
      // over next, or lie past the content.
      if (wEnd - w < kRoom) makeRoom();
#if defined(__SSE2__)
      if (end_ - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w), v);
        const int mask = SpecialMask(v);
        if (mask == 0) {
          p += 16;
          w += 16;
          continue;
        }
        const int n = __builtin_ctz(static_cast<unsigned>(mask));
        p += n;
        w += n;
      } else
#endif
      {
        // Fewer than sixteen bytes left in the window: fewer than the room.
        while (p != end_ && !IsSpecial(static_cast<unsigned char>(*p))) *w++ = *p++;
      }
    } else {
      p = FirstSpecial(p, end_);
    }
    if (p == end_) Ended();
    const auto c = static_cast<unsigned char>(*p);
    if (c == '"') break;
    if (c == '\\') {
      escaped = true;
      if (end_ - p < 2) Ended();
      if (const char simple = SimpleEscape(p[1]); simple != 0) {
        if constexpr (kDecode) *w++ = simple;
        p += 2;
        continue;
      }
      if (p[1] != 'u') Fail(p, "an escape that JSON does not have");
      // \uXXXX, a high surrogate only with its low one after it.
      const auto hex4At = [&](const char* at) {
        for (int i = 0; i < 4; ++i) {
          if (at + i == end_) Ended();
          if (HexValue(at[i]) < 0) Fail(p, "a \\u escape without four hexadecimal digits");
        }
        return Hex4(at);
      };
      const unsigned code = hex4At(p + 2);
      if (IsLowSurrogate(code)) Fail(p, "a \\u escape of half a surrogate pair");
      if (IsHighSurrogate(code)) {
        for (int i = 6; i < 8; ++i) {
          if (p + i == end_) Ended();
          if (p[i] != "\\u"[i - 6]) Fail(p, "a \\u escape of half a surrogate pair");
        }
        if (!IsLowSurrogate(hex4At(p + 8))) Fail(p, "a \\u escape of half a surrogate pair");
      }
      if constexpr (kDecode) {
        std::tie(p, w) = DecodeUnicodeEscape(p, w);
      } else {
        p += IsHighSurrogate(code) ? 12 : 6;
      }
      continue;
    }
    if (c < 0x20) Fail(p, "a control character inside a string; it must be escaped");
    const int length = Utf8SequenceLength(reinterpret_cast<const unsigned char*>(p),
                                          reinterpret_cast<const unsigned char*>(end_));
    if (length == kUtf8CutShort) Ended();
    if (length == 0) Fail(p, "bytes that are not UTF-8");
    if constexpr (kDecode) {
      std::memcpy(w, p, static_cast<std::size_t>(length));
      w += length;
    }
    p += length;
  }
  p_ = p + 1;
  if constexpr (kDecode) {
    *content = std::string_view(content_->data(), static_cast<std::size_t>(w - content_->data()));
  }
  return JsonRawString{std::string_view(open + 1, static_cast<std::size_t>(p - open - 1)), escaped};
}

void JsonObjectReader::SkipLiteral(std::string_view literal) {
  const char* const start = p_;
  for (const char c : literal) {
    if (p_ == end_) Ended();
    if (*p_ != c) Fail(start, "expected a value");
    ++p_;
  }
}

void JsonObjectReader::SkipNumber() {
  const char* const start = p_;
  // A number may go on in the next window.
  const auto more = [&] {
    if (p_ != end_) return true;
    if (!last_) throw JsonWindowEnd();
    return false;
  };
  const auto digits = [&] {
    if (!more()) Ended();
    if (!IsDigit(*p_)) Fail(p_, "expected a digit");
    while (more() && IsDigit(*p_)) ++p_;
  };
  if (*p_ == '-') ++p_;
  if (more() && *p_ == '0') {
    ++p_;
  } else {
    digits();
  }
  if (more() && *p_ == '.') {
    ++p_;
    digits();
  }
  if (more() && (*p_ == 'e' || *p_ == 'E')) {
    ++p_;
    if (more() && (*p_ == '+' || *p_ == '-')) ++p_;
    digits();
  }
  if (!NumberFitsADouble(std::string_view(start, static_cast<std::size_t>(p_ - start)))) {
    Fail(start, "a number beyond the range of a double");
  }
}

void JsonObjectReader::SkipContainer(std::size_t depth) {
  const char close = *p_ == '{' ? '}' : ']';
  if (depth > kJsonMaxDepth) {
    Fail(p_, "arrays and objects nested deeper than " + std::to_string(kJsonMaxDepth));
  }
  ++p_;
  SkipSpace();
  if (Peek() == close) {
    ++p_;
    return;
  }
  for (;;) {
    if (close == '}') {
      if (Peek() != '"') Fail(p_, "expected a member name");
      ReadString<false>();
      SkipSpace();
      Expect(':');
      SkipSpace();
    }
    SkipValue(depth + 1);
    SkipSpace();
    const char c = Peek();
    ++p_;
    if (c == close) return;
    if (c != ',') Fail(p_ - 1, std::string("expected ',' or '") + close + "'");
    SkipSpace();
  }
}

const char* JsonObjectReader::SkipValue(std::size_t depth) {
  switch (Peek()) {
    case '"':
      ReadString<false>();
      return "a string";
    case '{':
      SkipContainer(depth);
      return "an object";
    case '[':
      SkipContainer(depth);
      return "an array";
    case 't':
      SkipLiteral("true");
      return "a boolean";
    case 'f':
      SkipLiteral("false");
      return "a boolean";
    case 'n':
      SkipLiteral("null");
      return "null";
    default:
      if (*p_ != '-' && !IsDigit(*p_)) Fail(p_, "expected a value");
      SkipNumber();
      return "a number";
  }
}

bool JsonObjectReader::Next(JsonMember& member) {
  SkipSpace();
  // White space read is not read again after a window's end.
  resumeAt_ = static_cast<std::size_t>(p_ - begin_);
  resumeStep_ = step_;
  switch (step_) {
    case Step::kOpen:
      if (Peek() != '{') Fail(p_, "the top level is not a JSON object");
      ++p_;
      SkipSpace();
      break;
    case Step::kFirst:
      break;
    case Step::kNext: {
      const char c = Peek();
      if (c != '}') {
        if (c != ',') Fail(p_, "expected ',' or '}'");
        ++p_;
        SkipSpace();
        if (Peek() != '"') Fail(p_, "expected a member name");
      }
      break;
    }
    case Step::kClosed:
      if (p_ != end_) Fail(p_, "content after the end of the document");
      if (!last_) throw JsonWindowEnd();
      return false;
  }
  if (Peek() == '}') {
    ++p_;
    step_ = Step::kClosed;
    return Next(member);
  }
  if (*p_ != '"') Fail(p_, "expected a member name");
  member.name = ReadString<false>();
  SkipSpace();
  Expect(':');
  SkipSpace();
  member.valueOffset = OffsetOf(p_);
  if (Peek() == '"') {
    member.text = content_ != nullptr ? ReadString<true>(&member.content) : ReadString<false>();
    member.kind = nullptr;
  } else {
    member.kind = SkipValue(2);
  }
  step_ = Step::kNext;
  return true;
}

}  // namespace kelabexperiment
