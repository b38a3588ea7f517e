#include "kelcore/locale.h"

namespace std {

template <>
locale::id ctype<unsigned char>::id{};

template <>
ctype<unsigned char>::~ctype() {}

namespace {
const ctype<char>& Classic() { return use_facet<ctype<char>>(locale::classic()); }
char Narrow(unsigned char c) { return static_cast<char>(c); }
unsigned char Widen(char c) { return static_cast<unsigned char>(c); }
}  // namespace

template <>
bool ctype<unsigned char>::do_is(mask m, unsigned char c) const {
  return Classic().is(m, Narrow(c));
}
template <>
const unsigned char* ctype<unsigned char>::do_is(const unsigned char* lo, const unsigned char* hi,
                                                 mask* vec) const {
  for (; lo < hi; ++lo, ++vec) {
    *vec = 0;
    for (mask m : {space, print, cntrl, upper, lower, alpha, digit, punct, xdigit, blank}) {
      if (Classic().is(m, Narrow(*lo))) *vec = static_cast<mask>(*vec | m);
    }
  }
  return hi;
}
template <>
const unsigned char* ctype<unsigned char>::do_scan_is(mask m, const unsigned char* lo,
                                                      const unsigned char* hi) const {
  while (lo < hi && !do_is(m, *lo)) ++lo;
  return lo;
}
template <>
const unsigned char* ctype<unsigned char>::do_scan_not(mask m, const unsigned char* lo,
                                                       const unsigned char* hi) const {
  while (lo < hi && do_is(m, *lo)) ++lo;
  return lo;
}
// Only ASCII letters change case: the classic "C" mapping, byte for byte.
template <>
unsigned char ctype<unsigned char>::do_toupper(unsigned char c) const {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}
template <>
const unsigned char* ctype<unsigned char>::do_toupper(unsigned char* lo,
                                                      const unsigned char* hi) const {
  for (; lo < hi; ++lo) *lo = do_toupper(*lo);
  return hi;
}
template <>
unsigned char ctype<unsigned char>::do_tolower(unsigned char c) const {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}
template <>
const unsigned char* ctype<unsigned char>::do_tolower(unsigned char* lo,
                                                      const unsigned char* hi) const {
  for (; lo < hi; ++lo) *lo = do_tolower(*lo);
  return hi;
}
template <>
unsigned char ctype<unsigned char>::do_widen(char c) const {
  return Widen(c);
}
template <>
const char* ctype<unsigned char>::do_widen(const char* lo, const char* hi,
                                           unsigned char* to) const {
  for (; lo < hi; ++lo, ++to) *to = Widen(*lo);
  return hi;
}
template <>
char ctype<unsigned char>::do_narrow(unsigned char c, char) const {
  return Narrow(c);
}
template <>
const unsigned char* ctype<unsigned char>::do_narrow(const unsigned char* lo,
                                                     const unsigned char* hi, char,
                                                     char* to) const {
  for (; lo < hi; ++lo, ++to) *to = Narrow(*lo);
  return hi;
}

}  // namespace std

namespace kelcore {

std::locale Locale::Default() {
  static const std::locale locale(std::locale::classic(), new std::ctype<unsigned char>);
  return locale;
}

}  // namespace kelcore
