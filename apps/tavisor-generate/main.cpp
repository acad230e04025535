// tavisor-generate: Tavisor's records as test data for other programs.
//
// Writes random records of a seeded stream (tavisor::RecordStream, on the
// bundled reference lists) or the library's test records to files, as JSON
// Lines, JSON, CSV or the Estonian text form. Only --test loads the library.
#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "generate.h"
#include "generate_options.h"
#include "output.h"

namespace {

constexpr char kProgram[] = "tavisor-generate";

// Parses the program's arguments. Returns an exit code when the program has
// nothing more to do: 0 after --help or --version, 2 after a usage error
// (reported on standard error).
std::optional<int> ParseCommandLine(int argc, const char* const* argv,
                                    generate::GenerateOptions& options,
                                    generate::GenerateSources& sources) {
  CLI::App app("", kProgram);
  generate::DescribeGenerate(app, options, kProgram);
  app.set_version_flag("--version", std::string(kProgram) + " " + TAVISOR_VERSION);
  app.add_option("--data", sources.data, "The directory of the two lists (random records)")
      ->type_name("DIR");
  app.add_option("--library", sources.library,
                 "The library to load for --test (default: the one next to this program)")
      ->type_name("FILE");
  try {
    app.parse(argc, argv);
    if (const std::string problem = generate::GenerateOptionsProblem(options); !problem.empty()) {
      throw CLI::ValidationError(problem);
    }
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help or --version
  } catch (const CLI::ParseError& e) {
    std::cerr << kProgram << ": " << generate::ParseErrorText(app, e) << "\nRun \"" << kProgram
              << " --help\" for the usage\n";
    return 2;
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  generate::GenerateOptions options;
  generate::GenerateSources sources;
  if (const std::optional<int> exit_code = ParseCommandLine(argc, argv, options, sources)) {
    return *exit_code;
  }
  // The records may go to standard output: every other line goes to
  // standard error.
  console::Output messages(false, std::cerr);
  messages.SetErrorPrefix(std::string(kProgram) + ": ");
  messages.SetQuiet(options.quiet);
  try {
    return generate::RunGenerate(options, sources, messages);
  } catch (const std::exception& e) {
    messages.Error(e.what());
    return 1;
  }
}
