#include "exported_library.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "bench_paths.h"

namespace tavisor::bench {

namespace {

void* Open(const std::string& path) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(::LoadLibraryA(path.c_str()));
#else
  return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void Close(void* handle) {
#if defined(_WIN32)
  ::FreeLibrary(static_cast<HMODULE>(handle));
#else
  ::dlclose(handle);
#endif
}

void* Symbol(void* handle, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
#else
  return ::dlsym(handle, name);
#endif
}

// Function pointers travel through void* here, as dlsym hands them out.
template <class Fn>
Fn As(void* p) {
  return reinterpret_cast<Fn>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace

ExportedLibrary::ExportedLibrary(const std::string& path) : handle_(Open(path)) {
  if (handle_ == nullptr) throw std::runtime_error("cannot load " + path);
  Initialize = As<InitializeFn>(Resolve("Initialize"));
  GetItem = As<GetItemFn>(Resolve("GetItem"));
  GetTestItem = As<GetTestItemFn>(Resolve("GetTestItem"));
  Start = As<StartFn>(Resolve("Start"));
}

ExportedLibrary::~ExportedLibrary() { Close(handle_); }

void* ExportedLibrary::Resolve(const char* name) {
  void* p = Symbol(handle_, name);
  if (p == nullptr) {
    Close(handle_);
    throw std::runtime_error(std::string("export not found: ") + name);
  }
  return p;
}

ExportedLibrary& InitializedLibrary() {
  static ExportedLibrary* const library = [] {
    // Never unloaded: records may still be alive when the process ends.
    auto* lib = new ExportedLibrary(kLibraryPath);
    // Initialize reads the lists from the working directory.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(kBundledDataDir);
    try {
      lib->Initialize();
    } catch (...) {
      std::filesystem::current_path(previous);
      throw;
    }
    std::filesystem::current_path(previous);
    return lib;
  }();
  return *library;
}

}  // namespace tavisor::bench
