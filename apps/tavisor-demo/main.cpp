// tavisor-demo: the reference client of the Tavisor library.
//
// Loads the library at run time, loads the bundled reference lists and shows
// records in their Estonian text form: by default a short non-interactive
// tour, with --interactive a command prompt.
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app.h"
#include "modes.h"
#include "options.h"
#include "output.h"
#include "paths.h"
#include "tavisor/library.h"

namespace {

std::optional<std::filesystem::path> DataDirectory(const demo::Options& options,
                                                   demo::Output& out) {
  if (options.data) return *options.data;
  if (std::optional<std::filesystem::path> bundled = demo::FindBundledData()) return bundled;
  out.Line(
      "Cannot find the bundled reference lists (a data directory holding \"Eesti "
      "linnud.txt\" and \"Eesti omavalitsused.txt\"): pass --data DIR");
  return std::nullopt;
}

int Run(const demo::Options& options) {
  demo::Output out(options.utf8);
  const std::filesystem::path start_directory = std::filesystem::current_path();
  std::unique_ptr<tavisor::Library> library;
  try {
    library = std::make_unique<tavisor::Library>(
        options.library ? std::filesystem::absolute(*options.library) : demo::DefaultLibraryPath());
  } catch (const std::exception& e) {
    out.Line(e.what());
    return 1;
  }
  out.Line("Tavisor library loaded from \"" + library->path().string() + "\"");
  int exit_code = 0;
  {
    demo::App app(*library, out, start_directory);
    if (const std::optional<std::filesystem::path> data = DataDirectory(options, out)) {
      app.LoadLists(*data);
    }
    exit_code =
        options.interactive ? demo::RunInteractive(app, std::cin) : demo::RunDefault(app, options);
    // Every producer ends, and everything received is released, before the
    // library is unloaded.
    demo::EndProducers(app);
  }
  return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  demo::Options options;
  try {
    options = demo::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::invalid_argument& e) {
    std::cerr << e.what() << '\n' << demo::Usage();
    return 2;
  }
  if (options.help) {
    std::cout << demo::Usage();
    return 0;
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::cerr << "tavisor-demo: " << e.what() << '\n';
    return 1;
  }
}
