#pragma once

#include <locale>

#include "kelcore/kelcore_export.h"

// The standard library declares ctype<unsigned char> but defines none of its
// members. The host defines them once, here, with the classic byte mapping
// (ASCII letters change case, every other byte maps to itself), so that the
// facet is one type with one identity across every module of the process.
namespace std {
template <>
KELCORE_EXPORT locale::id ctype<unsigned char>::id;
template <>
KELCORE_EXPORT ctype<unsigned char>::~ctype();
template <>
KELCORE_EXPORT bool ctype<unsigned char>::do_is(mask, unsigned char) const;
template <>
KELCORE_EXPORT const unsigned char* ctype<unsigned char>::do_is(const unsigned char*,
                                                                const unsigned char*, mask*) const;
template <>
KELCORE_EXPORT const unsigned char* ctype<unsigned char>::do_scan_is(mask, const unsigned char*,
                                                                     const unsigned char*) const;
template <>
KELCORE_EXPORT const unsigned char* ctype<unsigned char>::do_scan_not(mask, const unsigned char*,
                                                                      const unsigned char*) const;
template <>
KELCORE_EXPORT unsigned char ctype<unsigned char>::do_toupper(unsigned char) const;
template <>
KELCORE_EXPORT const unsigned char* ctype<unsigned char>::do_toupper(unsigned char*,
                                                                     const unsigned char*) const;
template <>
KELCORE_EXPORT unsigned char ctype<unsigned char>::do_tolower(unsigned char) const;
template <>
KELCORE_EXPORT const unsigned char* ctype<unsigned char>::do_tolower(unsigned char*,
                                                                     const unsigned char*) const;
template <>
KELCORE_EXPORT unsigned char ctype<unsigned char>::do_widen(char) const;
template <>
KELCORE_EXPORT const char* ctype<unsigned char>::do_widen(const char*, const char*,
                                                          unsigned char*) const;
template <>
KELCORE_EXPORT char ctype<unsigned char>::do_narrow(unsigned char, char) const;
template <>
KELCORE_EXPORT const unsigned char* ctype<unsigned char>::do_narrow(const unsigned char*,
                                                                    const unsigned char*, char,
                                                                    char*) const;
}  // namespace std

namespace kelcore {

class KELCORE_EXPORT Locale {
 public:
  // The host's default locale: the classic locale plus a ctype<unsigned char>
  // facet, so std::use_facet<std::ctype<unsigned char>> works on it.
  // Thread-safe.
  static std::locale Default();
};

}  // namespace kelcore
