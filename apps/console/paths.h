// Where the programs find the library and the reference lists, and what
// they know of both.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "output.h"
#include "tavisor/library.h"

namespace console {

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

// The lists' directory: `given` (--data) as it is, or the one that
// FindReferenceLists finds. Nothing, after saying why on `out`, when there
// is none.
std::optional<std::filesystem::path> ListsDirectory(
    const std::optional<std::filesystem::path>& given, Output& out);

// Loads `given` (--library, made absolute) or DefaultLibraryPath() and
// notes where from. Nothing, after saying why on `out`, when it cannot be
// loaded.
std::unique_ptr<tavisor::Library> OpenLibrary(const std::optional<std::filesystem::path>& given,
                                              Output& out);

}  // namespace console
