// Where the benchmarks find the library and the bundled lists; the build
// passes both in.
#pragma once

namespace tavisor::bench {

inline constexpr const char* kLibraryPath = TAVISOR_LIBRARY_PATH;
inline constexpr const char* kBundledDataDir = TAVISOR_DATA_DIR;

}  // namespace tavisor::bench
