// The demo's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace demo {

struct Options {
  bool interactive = false;
  bool utf8 = false;  // convert the Windows-1252 print-out for a UTF-8 terminal
  bool help = false;
  char variant = 'A';  // producer of the default run
  int batches = 2;     // batches the default run waits for; 0 skips the producer
  std::optional<std::filesystem::path> data;     // directory of the two lists
  std::optional<std::filesystem::path> library;  // the library file
};

// Parses the arguments after the program name. Returns the options, or
// throws std::invalid_argument with a message for the user.
Options ParseOptions(const std::vector<std::string>& args);

// The text of --help.
const char* Usage();

}  // namespace demo
