// tavisor-demo: the reference client of the Tavisor library.
//
// Loads the library at run time, loads the bundled reference lists and shows
// records in their Estonian text form: by default a short non-interactive
// tour, with --interactive a command prompt; the generate command runs
// tavisor-generate's code (apps/tavisor-generate/) and writes records to
// files.
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

int Run(const demo::Options& options) {
  // generate may write its records to standard output: everything else goes
  // to standard error then.
  console::Output out(options.utf8, options.generate ? std::cerr : std::cout);
  out.SetErrorPrefix("tavisor-demo: ");
  if (options.generate) {
    // tavisor-generate's code: the library only for --test, the lists once.
    out.SetQuiet(options.generate->quiet);
    return generate::RunGenerate(*options.generate, {options.data, options.library}, out);
  }
  const std::filesystem::path start_directory = std::filesystem::current_path();
  const std::unique_ptr<tavisor::Library> library = console::OpenLibrary(options.library, out);
  if (!library) return 1;
  int exit_code = 0;
  {
    demo::App app(*library, out, start_directory);
    // The interactive mode always records, for its timeline command.
    if (options.timeline || options.interactive) app.RecordTimeline();
    if (const std::optional<std::filesystem::path> data =
            console::ListsDirectory(options.data, out)) {
      app.LoadLists(*data);
    }
    if (options.interactive) {
      exit_code = demo::RunInteractive(app, std::cin);
    } else {
      exit_code = demo::RunDefault(app, options);
    }
    // Every producer ends, and everything received is released, before the
    // library is unloaded.
    demo::EndProducers(app);
    if (options.timeline && !app.WriteTimeline(*options.timeline) && exit_code == 0) exit_code = 1;
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
