// The demo's command line: the program's options and the generate command
// (generate_options.h), which tavisor-generate and the interactive mode
// parse with the same description.
#pragma once

#include <filesystem>
#include <optional>

#include "generate_options.h"

namespace demo {

struct Options {
  bool interactive = false;
  bool utf8 = false;   // convert the Windows-1252 print-out for a UTF-8 terminal
  char variant = 'A';  // producer of the default run
  int batches = 2;     // batches the default run waits for; 0 skips the producer
  std::optional<std::filesystem::path> data;          // directory of the two lists
  std::optional<std::filesystem::path> library;       // the library file
  std::optional<std::filesystem::path> timeline;      // written at the end: .json, .svg, .html
  std::optional<generate::GenerateOptions> generate;  // the generate command
};

// Parses the program's arguments into `options`. Returns an exit code when
// the program has nothing more to do: 0 after --help or --version, 2 after
// a usage error (reported on standard error).
std::optional<int> ParseCommandLine(int argc, const char* const* argv, Options& options);

}  // namespace demo
