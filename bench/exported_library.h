// The library as a client sees it: loaded by file name at run time, its
// exports resolved by their plain names.
#pragma once

#include <string>

#include "tavisor/api.h"

namespace tavisor::bench {

class ExportedLibrary {
 public:
  // Loads the library at `path`; throws std::runtime_error when the library
  // or one of its exports cannot be found.
  explicit ExportedLibrary(const std::string& path);
  ~ExportedLibrary();
  ExportedLibrary(const ExportedLibrary&) = delete;
  ExportedLibrary& operator=(const ExportedLibrary&) = delete;

  InitializeFn Initialize = nullptr;
  GetItemFn GetItem = nullptr;
  GetTestItemFn GetTestItem = nullptr;
  StartFn Start = nullptr;

 private:
  void* Resolve(const char* name);

  void* handle_ = nullptr;
};

// The library that this build produced, loaded once and initialised from the
// bundled lists; kept loaded until the process ends.
ExportedLibrary& InitializedLibrary();

}  // namespace tavisor::bench
