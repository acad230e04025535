#include "platform/module.h"

#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tavisor::platform {

namespace {

void Pin() {
#if defined(_WIN32)
  // The module that holds this function, pinned: FreeLibrary no longer
  // unloads it.
  HMODULE self = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(reinterpret_cast<const void*>(&Pin)), &self);
#else
  // The same object opened once more, never to be deleted: dlclose no
  // longer unloads it. (Linked into a program, it names the program, which
  // is never unloaded anyway.)
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&Pin), &info) != 0 && info.dli_fname != nullptr) {
    ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
#endif
}

}  // namespace

void KeepLoadedForGood() {
  static std::once_flag pinned;
  std::call_once(pinned, Pin);
}

}  // namespace tavisor::platform
