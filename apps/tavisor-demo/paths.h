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

// Where the lists are, looked for as the library reads them: the working
// directory when it holds both lists; then a data/ directory upwards from
// this program's directory (a build inside the source tree, an unpacked
// zip); then an installed share/tavisor/ beside the program's bin/.
// Nothing when none holds both lists: the program then asks for --data.
std::optional<std::filesystem::path> FindReferenceLists();

// True when `dir` holds both reference lists.
bool HoldsReferenceLists(const std::filesystem::path& dir);

}  // namespace demo
