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

// The first byte at or after `p` that ends a run of plain string bytes: a
// byte below 0x20, a quote, a backslash, or a byte above 0x7F (UTF-8 to
// check); `end` when there is none. Sixteen bytes at a time where SSE2 is
// there (every x86-64), else eight.
const char* FirstSpecial(const char* p, const char* end) noexcept {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i space = _mm_set1_epi8(0x20);
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed: a byte above 0x7F is below 0x20 too.
    const __m128i special =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
                     _mm_cmplt_epi8(v, space));
    if (const int mask = _mm_movemask_epi8(special); mask != 0)
      return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#endif
  for (; p != end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80) return p;
  }
  return end;
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
    const char c = p[1];
    p += 2;
    switch (c) {
      case 'b':
        *w++ = '\b';
        break;
      case 'f':
        *w++ = '\f';
        break;
      case 'n':
        *w++ = '\n';
        break;
      case 'r':
        *w++ = '\r';
        break;
      case 't':
        *w++ = '\t';
        break;
      case 'u': {
        unsigned code = Hex4(p);
        p += 4;
        if (IsHighSurrogate(code)) {
          code = 0x10000 + ((code - 0xD800) << 10) + (Hex4(p + 2) - 0xDC00);
          p += 6;
        }
        w = EncodeUtf8(code, w);
        break;
      }
      default:  // '"', '\\' and '/' stand for themselves
        *w++ = c;
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
                                   Step step)
    : begin_(window.data()),
      end_(window.data() + window.size()),
      p_(window.data()),
      base_(base),
      last_(last),
      step_(step),
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

void JsonObjectReader::SkipSpace() {
  while (p_ != end_ && IsSpace(*p_)) ++p_;
}

char JsonObjectReader::Peek() {
  if (p_ == end_) Ended();
  return *p_;
}

void JsonObjectReader::Expect(char c) {
  if (Peek() != c) Fail(p_, std::string("expected '") + c + "'");
  ++p_;
}

JsonRawString JsonObjectReader::ReadString() {
  const char* const open = p_;  // at the quote
  const char* p = open + 1;
  bool escaped = false;
  for (;;) {
    p = FirstSpecial(p, end_);
    if (p == end_) Ended();
    const auto c = static_cast<unsigned char>(*p);
    if (c == '"') break;
    if (c == '\\') {
      escaped = true;
      if (end_ - p < 2) Ended();
      const char kind = p[1];
      switch (kind) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
          p += 2;
          continue;
        case 'u':
          break;
        default:
          Fail(p, "an escape that JSON does not have");
      }
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
      if (!IsHighSurrogate(code)) {
        p += 6;
        continue;
      }
      for (int i = 6; i < 8; ++i) {
        if (p + i == end_) Ended();
        if (p[i] != "\\u"[i - 6]) Fail(p, "a \\u escape of half a surrogate pair");
      }
      if (!IsLowSurrogate(hex4At(p + 8))) Fail(p, "a \\u escape of half a surrogate pair");
      p += 12;
      continue;
    }
    if (c < 0x20) Fail(p, "a control character inside a string; it must be escaped");
    if (c < 0x80) {
      ++p;
      continue;
    }
    const int length = Utf8SequenceLength(reinterpret_cast<const unsigned char*>(p),
                                          reinterpret_cast<const unsigned char*>(end_));
    if (length == kUtf8CutShort) Ended();
    if (length == 0) Fail(p, "bytes that are not UTF-8");
    p += length;
  }
  p_ = p + 1;
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
      ReadString();
      SkipSpace();
      Expect(':');
      SkipSpace();
    }
    ReadValue(depth + 1, nullptr);
    SkipSpace();
    const char c = Peek();
    ++p_;
    if (c == close) return;
    if (c != ',') Fail(p_ - 1, std::string("expected ',' or '") + close + "'");
    SkipSpace();
  }
}

const char* JsonObjectReader::ReadValue(std::size_t depth, JsonRawString* text) {
  switch (Peek()) {
    case '"': {
      const JsonRawString string = ReadString();
      if (text != nullptr) *text = string;
      return nullptr;
    }
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
  member.name = ReadString();
  SkipSpace();
  Expect(':');
  SkipSpace();
  member.valueOffset = OffsetOf(p_);
  member.kind = ReadValue(2, &member.text);
  step_ = Step::kNext;
  return true;
}

}  // namespace kelabexperiment
