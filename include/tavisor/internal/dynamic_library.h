// Loading a library at run time, without <windows.h> in the client's code:
// the four calls of the Windows loader that Library uses are declared here
// as <windows.h> declares them (with its STRICT handle types, its default),
// so a client may include both, in either order.
#pragma once

#include "tavisor/build_requirements.h"

#include <filesystem>
#include <string>

#if defined(_WIN32)
struct HINSTANCE__;
// FARPROC: INT_PTR (WINAPI *)(), with the 64-bit INT_PTR.
typedef long long(__stdcall* TavisorFarProc)();
extern "C" {
__declspec(dllimport) HINSTANCE__* __stdcall LoadLibraryW(const wchar_t* file_name);
__declspec(dllimport) TavisorFarProc
    __stdcall GetProcAddress(HINSTANCE__* module, const char* name);
__declspec(dllimport) int __stdcall FreeLibrary(HINSTANCE__* module);
__declspec(dllimport) unsigned long __stdcall GetLastError();
}
#else
#include <dlfcn.h>
#endif

namespace tavisor::internal {

#if defined(_WIN32)
using LibraryHandle = HINSTANCE__*;
#else
using LibraryHandle = void*;
#endif

// Null when it cannot be loaded (LastLoaderError tells why).
inline LibraryHandle OpenLibrary(const std::filesystem::path& path) {
#if defined(_WIN32)
  return ::LoadLibraryW(path.c_str());
#else
  return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

// The export `name` as a plain function pointer (by way of void (*)(),
// which casts to any function type without a warning), or null.
inline void (*FindExport(LibraryHandle library, const char* name))() {
#if defined(_WIN32)
  return reinterpret_cast<void (*)()>(::GetProcAddress(library, name));
#else
  ::dlerror();  // clears an earlier error
  return reinterpret_cast<void (*)()>(::dlsym(library, name));
#endif
}

inline void CloseLibrary(LibraryHandle library) {
#if defined(_WIN32)
  ::FreeLibrary(library);
#else
  ::dlclose(library);
#endif
}

// What the loader said about its last failure.
inline std::string LastLoaderError() {
#if defined(_WIN32)
  return "system error " + std::to_string(::GetLastError());
#else
  const char* error = ::dlerror();
  return error != nullptr ? error : "";
#endif
}

}  // namespace tavisor::internal
