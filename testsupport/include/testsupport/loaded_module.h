#pragma once

#include <cstring>
#include <filesystem>
#include <string>

#include "kelcore/config/windows_api.h"
#ifndef _WIN32
#include <dlfcn.h>
#include <link.h>
#endif

#include "kelcore/string/conversions.h"

namespace testsupport {

// Loads a shared module at run time the way a host does (dlopen, or
// LoadLibraryW on Windows) and unloads it on request or when destroyed.
class LoadedModule {
 public:
  // `path` is UTF-8. Check Loaded(); Error() tells why it failed.
  explicit LoadedModule(const std::string& path) {
#ifdef _WIN32
    const kelcore::UTF16String wide = kelcore::string::UTF8to16(kelcore::string::FromStd(path));
    handle_ = ::LoadLibraryW(wide.c_str());
    if (handle_ == nullptr) error_ = "LoadLibraryW: error " + std::to_string(::GetLastError());
#else
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) error_ = ::dlerror();
#endif
  }
  ~LoadedModule() { Unload(); }
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }

  // The address of the exported symbol `name` (as the linker spells it),
  // as a pointer of type `Function`; null when there is none.
  template <typename Function>
  Function Symbol(const char* name) const {
#ifdef _WIN32
    const FARPROC address = ::GetProcAddress(handle_, name);
#else
    void* const address = ::dlsym(handle_, name);
#endif
    Function function = nullptr;
    static_assert(sizeof function == sizeof address);
    std::memcpy(&function, &address, sizeof function);
    return function;
  }

  // The file the system loaded. REQUIRES: Loaded().
  std::filesystem::path File() const {
#ifdef _WIN32
    wchar_t name[32768];
    const DWORD length = ::GetModuleFileNameW(handle_, name, 32768);
    return std::filesystem::path(std::wstring(name, length));
#else
    link_map* map = nullptr;
    ::dlinfo(handle_, RTLD_DI_LINKMAP, &map);
    return map == nullptr ? std::filesystem::path() : std::filesystem::path(map->l_name);
#endif
  }

  // Drops this reference to the module; true when the system accepted it.
  bool Unload() {
    if (handle_ == nullptr) return false;
#ifdef _WIN32
    const bool ok = ::FreeLibrary(handle_) != 0;
#else
    const bool ok = ::dlclose(handle_) == 0;
#endif
    handle_ = nullptr;
    return ok;
  }

 private:
#ifdef _WIN32
  HMODULE handle_;
#else
  void* handle_;
#endif
  std::string error_;
};

}  // namespace testsupport
