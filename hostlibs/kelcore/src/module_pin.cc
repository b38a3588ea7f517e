#include "kelcore/config/module_pin.h"

#include <string>

#include "kelcore/config/kel_exception.h"

#ifdef _WIN32
#include "kelcore/config/windows_api.h"
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace kelcore::config {

void PinModuleContaining(const void* address) {
#ifdef _WIN32
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            static_cast<LPCWSTR>(address), &module)) {
    throw kel_exception("cannot pin the module: error " + std::to_string(::GetLastError()));
  }
#else
  Dl_info info;
  link_map* module = nullptr;
  if (::dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 ||
      module == nullptr) {
    throw kel_exception("cannot pin the module: no module holds the address");
  }
  // The program itself (no name in the link map) is never unloaded.
  if (module->l_name == nullptr || module->l_name[0] == '\0') return;
  // RTLD_NOLOAD finds the loaded module; RTLD_NODELETE then keeps it mapped
  // past every dlclose. The reference this adds is deliberately never dropped.
  if (::dlopen(module->l_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) == nullptr) {
    const char* error = ::dlerror();
    throw kel_exception(std::string("cannot pin the module: ") + (error ? error : "unknown"));
  }
#endif
}

}  // namespace kelcore::config
