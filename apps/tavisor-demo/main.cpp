// tavisor-demo: the reference client of the Tavisor library.
//
// Loads the library at run time, loads the bundled reference lists and shows
// records in their Estonian text form: by default a short non-interactive
// tour, with --interactive a command prompt; the generate command writes
// records to files.
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app.h"
#include "generate.h"
#include "modes.h"
#include "options.h"
#include "output.h"
#include "paths.h"
#include "tavisor/library.h"

namespace {

std::optional<std::filesystem::path> DataDirectory(const demo::Options& options,
                                                   demo::Output& out) {
  if (options.data) return *options.data;
  if (std::optional<std::filesystem::path> found = demo::FindReferenceLists()) return found;
  out.Error(
      "Cannot find the reference lists \"Eesti linnud.txt\" and \"Eesti omavalitsused.txt\" "
      "(in the working directory, a data directory upwards from the program, or an installed "
      "share/tavisor): pass --data DIR");
  return std::nullopt;
}

int Run(const demo::Options& options) {
  // generate may write its records to standard output: everything else goes
  // to standard error then.
  demo::Output out(options.utf8, options.generate ? std::cerr : std::cout);
  out.SetErrorPrefix("tavisor-demo: ");
  out.SetQuiet(options.generate && options.generate->quiet);
  const std::filesystem::path start_directory = std::filesystem::current_path();
  std::unique_ptr<tavisor::Library> library;
  try {
    library = std::make_unique<tavisor::Library>(
        options.library ? std::filesystem::absolute(*options.library) : demo::DefaultLibraryPath());
  } catch (const std::exception& e) {
    out.Error(e.what());
    return 1;
  }
  out.Note("Tavisor library loaded from \"" + library->path().string() + "\"");
  int exit_code = 0;
  {
    demo::App app(*library, out, start_directory);
    if (const std::optional<std::filesystem::path> data = DataDirectory(options, out)) {
      app.LoadLists(*data);
    }
    if (options.generate) {
      exit_code = demo::GenerateRecords(app, *options.generate, out);
    } else if (options.interactive) {
      exit_code = demo::RunInteractive(app, std::cin);
    } else {
      exit_code = demo::RunDefault(app, options);
    }
    // Every producer ends, and everything received is released, before the
    // library is unloaded.
    demo::EndProducers(app);
  }
  return exit_code;
}

}  // namespace

int main(int argc, char** argv) {
  demo::Options options;
  if (const std::optional<int> exit_code = demo::ParseCommandLine(argc, argv, options)) {
    return *exit_code;
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::cerr << "tavisor-demo: " << e.what() << '\n';
    return 1;
  }
}
