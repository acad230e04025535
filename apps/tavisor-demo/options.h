// The demo's command line: the program's options and the `generate`
// command, which the interactive mode parses with the same description.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "record_formats.h"

namespace CLI {
class App;
}

namespace demo {

struct GenerateOptions {
  std::uint64_t count = 0;           // random records
  bool test = false;                 // the 17 test records instead
  std::optional<Format> format;      // by default each file's extension, else JSON Lines
  std::vector<std::string> outputs;  // files; "-" or none: standard output
  bool utf8_text = false;            // the text form in UTF-8
  unsigned threads = 1;

  // The form of `output` (a file name or "-").
  RecordForm FormOf(const std::string& output) const;
};

struct Options {
  bool interactive = false;
  bool utf8 = false;   // convert the Windows-1252 print-out for a UTF-8 terminal
  char variant = 'A';  // producer of the default run
  int batches = 2;     // batches the default run waits for; 0 skips the producer
  std::optional<std::filesystem::path> data;     // directory of the two lists
  std::optional<std::filesystem::path> library;  // the library file
  std::optional<GenerateOptions> generate;       // the generate command
};

// Parses the program's arguments into `options`. Returns an exit code when
// the program has nothing more to do: 0 after --help or --version, 2 after
// a usage error (reported on standard error).
std::optional<int> ParseCommandLine(int argc, const char* const* argv, Options& options);

// Declares the `generate` command's arguments on `command`, to be stored in
// `options`.
void DescribeGenerate(CLI::App& command, GenerateOptions& options);

// Checks what a parser cannot: returns why `options` cannot work, or an
// empty text.
std::string GenerateOptionsProblem(const GenerateOptions& options);

}  // namespace demo
