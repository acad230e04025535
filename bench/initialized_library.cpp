#include "initialized_library.h"

#include "bench_paths.h"
#include "test_support.h"

namespace tavisor::bench {

const Library& InitializedLibrary() {
  static const Library* const library = [] {
    // Never unloaded: records may still be alive when the process ends.
    const auto* lib = new Library(kLibraryPath);
    // Initialize reads the lists from the working directory.
    const testing::WorkingDirectory in_data(kBundledDataDir);
    lib->Initialize();
    return lib;
  }();
  return *library;
}

}  // namespace tavisor::bench
