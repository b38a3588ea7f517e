#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "kelcore/string/conversions.h"

namespace testsupport {

// Sets one environment variable (ASCII name, UTF-8 value; null removes it)
// for the object's lifetime and restores the earlier state after. Changes the
// whole process's environment: not thread-safe.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const char* name, const char* value) : name_(name) {
#ifdef _WIN32
    if (const wchar_t* old = ::_wgetenv(WideName().c_str())) previous_ = std::wstring(old);
#else
    if (const char* old = std::getenv(name)) previous_ = std::string(old);
#endif
    Set(value == nullptr ? std::nullopt : std::optional<Native>(FromUTF8(value)));
  }
  ~ScopedEnvironmentVariable() { Set(previous_); }
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
#ifdef _WIN32
  // The C runtime's wide calls: they change its copy of the environment and
  // the operating system's.
  using Native = std::wstring;
  std::wstring WideName() const { return FromUTF8(name_.c_str()); }
  static std::wstring FromUTF8(const char* text) {
    const kelcore::UTF16String wide = kelcore::string::UTF8to16(kelcore::string::FromStd(text));
    return std::wstring(wide.begin(), wide.end());
  }
  void Set(const std::optional<Native>& value) const {
    ::_wputenv_s(WideName().c_str(), value ? value->c_str() : L"");  // empty removes it
  }
#else
  using Native = std::string;
  static std::string FromUTF8(const char* text) { return text; }
  void Set(const std::optional<Native>& value) const {
    if (value) {
      ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
#endif

  std::string name_;
  std::optional<Native> previous_;
};

}  // namespace testsupport
