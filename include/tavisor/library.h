// Loads Tavisor at run time and resolves its four exports by name.
//
//   tavisor::Library lib;                 // "Tavisor.dll" / "libTavisor.so.1"
//   lib.Initialize();
//   std::unique_ptr<tavisor::Item> item(lib.GetItem());
//
// Loading or resolving failures throw std::runtime_error naming the library
// and what failed. Producers run through tavisor/producer.h leave their
// stopped structures in graveyard(), which the destructor empties first: it
// waits for producers that are still ending, and for nothing when none are.
// Then it gives the library back to the loader. Once a producer has been
// started the library keeps itself loaded until the process ends (a
// producer's thread runs library code for a moment after its last signal);
// before that, the DLL is unloaded on Windows, and on Linux libstdc++'s wait
// table (a GNU unique symbol) usually keeps the library loaded anyway.
#pragma once

#include "tavisor/build_requirements.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "tavisor/api.h"
#include "tavisor/graveyard.h"
#include "tavisor/internal/dynamic_library.h"
#include "tavisor/item.h"
#include "tavisor/version.h"

namespace tavisor {

class Library {
 public:
  // The file name that the platform's loader looks up. On Linux it is the
  // library's soname, which carries the major version these headers were
  // made for: a library of another major version is not found instead of
  // being used with records of another layout (tavisor/version.h).
  static const char* DefaultName() {
#if defined(_WIN32)
    return "Tavisor.dll";
#else
    return "libTavisor.so." TAVISOR_VERSION_MAJOR_STRING;
#endif
  }

  // Loads the library by `path`: a bare file name is looked up the way the
  // platform's loader does (the program's directory first on Windows;
  // LD_LIBRARY_PATH, the program's run path and the system directories on
  // Linux), a path with a directory is taken as it is.
  explicit Library(const std::filesystem::path& path = DefaultName()) : path_(path) {
    handle_ = internal::OpenLibrary(path);
    if (handle_ == nullptr) Fail("cannot be loaded", internal::LastLoaderError());
    try {
      initialize_ = Resolve<InitializeFn>("Initialize");
      get_item_ = Resolve<GetItemFn>("GetItem");
      get_test_item_ = Resolve<GetTestItemFn>("GetTestItem");
      start_ = Resolve<StartFn>("Start");
    } catch (...) {
      Unload();
      throw;
    }
  }

  ~Library() {
    graveyard_.Clear();
    Unload();
  }

  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Loads both reference lists from the working directory.
  void Initialize() const { initialize_(); }
  // A new random record; the caller deletes it.
  Item* GetItem() const { return get_item_(); }
  // A new copy of test record n (0 to kTestItemCount - 1); the caller
  // deletes it.
  Item* GetTestItem(std::int32_t n) const { return get_test_item_(n); }
  // Starts a producer of variant `version` on the SharedState at `shared`.
  void Start(char version, void* shared) const { start_(version, shared); }

  const std::filesystem::path& path() const { return path_; }
  // Where stopped producers' structures wait for the unload (graveyard.h).
  Graveyard& graveyard() const { return graveyard_; }

 private:
  [[noreturn]] void Fail(const std::string& what, const std::string& detail) const {
    std::string message = "Tavisor library \"" + path_.string() + "\" " + what;
    if (!detail.empty()) message += ": " + detail;
    throw std::runtime_error(message);
  }

  template <class Fn>
  Fn Resolve(const char* name) const {
    void (*const symbol)() = internal::FindExport(handle_, name);
    if (symbol == nullptr) {
      Fail(std::string("has no export \"") + name + "\"", internal::LastLoaderError());
    }
    return reinterpret_cast<Fn>(symbol);
  }

  void Unload() {
    if (handle_ == nullptr) return;
    internal::CloseLibrary(handle_);
    handle_ = nullptr;
  }

  std::filesystem::path path_;
  internal::LibraryHandle handle_ = nullptr;
  InitializeFn initialize_ = nullptr;
  GetItemFn get_item_ = nullptr;
  GetTestItemFn get_test_item_ = nullptr;
  StartFn start_ = nullptr;
  mutable Graveyard graveyard_;
};

}  // namespace tavisor
