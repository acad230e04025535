// The demo's command line: the program's options and the `generate`
// command, which the interactive mode parses with the same description.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record_formats.h"

namespace CLI {
class App;
}

namespace demo {

// Which part of a run to write: part `index` (from 1) of `parts`.
struct Shard {
  std::uint64_t index = 1;
  std::uint64_t parts = 1;
};

struct GenerateOptions {
  std::uint64_t count = 0;           // random records
  bool test = false;                 // the 17 test records instead
  std::optional<Format> format;      // by default each file's extension
  std::vector<std::string> outputs;  // files; "-" or none: standard output
  bool utf8_text = false;            // the text form in UTF-8
  unsigned threads = 1;
  std::optional<std::uint64_t> seed;  // none: a fresh one
  Shard shard;
  bool quiet = false;  // no lines about loading, no progress bar

  // The form of `output` (a file name or "-"), and whether it is
  // compressed. Call after GenerateOptionsProblem found nothing.
  RecordForm FormOf(const std::string& output) const {
    return {format ? *format : KindOfFile(output).format.value_or(Format::kJsonLines), utf8_text};
  }
  bool Compressed(const std::string& output) const {
    return output != "-" && KindOfFile(output).compressed;
  }
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

// A decimal whole number from `low` to `high`, as counts are written:
// digits only ("010" is 10). Returns why `text` is not one, or an empty
// text.
std::string ParseWholeNumber(std::string_view text, std::uint64_t low, std::uint64_t high,
                             std::uint64_t& value);

}  // namespace demo
