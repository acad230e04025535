// Where the demo finds the library and the reference lists.
#pragma once

#include <filesystem>
#include <optional>

namespace demo {

// The directory that holds this program's executable file.
std::filesystem::path ExecutableDirectory();

// The library file next to this program if there is one; otherwise the
// bare file name, for the platform's loader to look up.
std::filesystem::path DefaultLibraryPath();

// The bundled data/ directory: searched upwards from this program's
// directory, then in the source tree the program was built from. Nothing
// when neither holds the bird list.
std::optional<std::filesystem::path> FindBundledData();

// True when `dir` holds both reference lists.
bool HoldsReferenceLists(const std::filesystem::path& dir);

}  // namespace demo
