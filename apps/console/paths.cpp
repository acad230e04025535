#include "paths.h"

#include <exception>
#include <string>
#include <system_error>
#include <vector>

#include "tavisor/library.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace console {

namespace fs = std::filesystem;

fs::path ExecutableDirectory() {
  std::error_code ec;
#if defined(_WIN32)
  std::vector<wchar_t> buffer(32768);
  const DWORD length =
      ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length > 0 && length < buffer.size()) return fs::path(buffer.data()).parent_path();
#else
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
#endif
  return fs::current_path(ec);
}

fs::path DefaultLibraryPath() {
  const fs::path beside = ExecutableDirectory() / tavisor::Library::DefaultName();
  std::error_code ec;
  if (fs::is_regular_file(beside, ec)) return beside;
  return tavisor::Library::DefaultName();
}

bool HoldsReferenceLists(const fs::path& dir) {
  std::error_code ec;
  return fs::is_regular_file(dir / tavisor::kBirdListFile, ec) &&
         fs::is_regular_file(dir / tavisor::kMunicipalityListFile, ec);
}

std::optional<fs::path> FindReferenceLists() {
  std::error_code ec;
  if (const fs::path here = fs::current_path(ec); !ec && HoldsReferenceLists(here)) return here;
  for (fs::path dir = ExecutableDirectory(); !dir.empty(); dir = dir.parent_path()) {
    if (HoldsReferenceLists(dir / "data")) return dir / "data";
    if (dir == dir.parent_path()) break;
  }
  // An installed copy (bin/tavisor-demo, bin/tavisor-generate) finds the lists the package put in
  // share/tavisor beside bin/.
  const fs::path installed = ExecutableDirectory().parent_path() / "share" / "tavisor";
  if (HoldsReferenceLists(installed)) return installed;
  return std::nullopt;
}

std::optional<fs::path> ListsDirectory(const std::optional<fs::path>& given, Output& out) {
  if (given) return *given;
  if (std::optional<fs::path> found = FindReferenceLists()) return found;
  out.Error(std::string("Cannot find the reference lists \"") + tavisor::kBirdListFile +
            "\" and \"" + tavisor::kMunicipalityListFile +
            "\" (in the working directory, a data directory upwards from the program, or an "
            "installed share/tavisor): pass --data DIR");
  return std::nullopt;
}

std::unique_ptr<tavisor::Library> OpenLibrary(const std::optional<fs::path>& given, Output& out) {
  std::unique_ptr<tavisor::Library> library;
  try {
    library =
        std::make_unique<tavisor::Library>(given ? fs::absolute(*given) : DefaultLibraryPath());
  } catch (const std::exception& e) {
    out.Error(e.what());
    return nullptr;
  }
  out.Note("Tavisor library loaded from \"" + library->path().string() + "\"");
  return library;
}

}  // namespace console
