// The generate command's options, as tavisor-generate and the demo's
// generate command (on its command line and at its prompt) take them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record_formats.h"

namespace CLI {
class App;
class Error;
class Option;
}  // namespace CLI

namespace generate {

// Which part of a run to write: part `index` (from 1) of `parts`.
struct Shard {
  std::uint64_t index = 1;
  std::uint64_t parts = 1;
};

// Which CSV files get the header row: the first part of a run only (the
// parts then concatenate to the whole run), every part, or none.
enum class CsvHeader { kFirst, kEach, kNone };

struct GenerateOptions {
  std::optional<std::uint64_t> count;  // random records; none: COUNT not given (0 is a count)
  bool test = false;                   // the library's test records instead
  std::optional<Format> format;        // by default each file's extension
  std::vector<std::string> outputs;    // files; "-" or none: standard output
  bool utf8_text = false;              // the text form in UTF-8
  // The text form on standard output in UTF-8 (the demo's --utf8).
  bool utf8_standard_output = false;
  unsigned threads = 1;
  std::optional<std::uint64_t> seed;  // none: a fresh one
  Shard shard;
  bool quiet = false;         // no lines about loading, no progress bar
  bool force = false;         // replace files that the user may not write, as cp -f does
  bool keep_partial = false;  // an interrupted run replaces files with the part written
  bool append = false;        // databases: the rows go into the database there
  CsvHeader csv_header = CsvHeader::kFirst;
  std::optional<Format> schema;  // print this form's layout instead of records
  std::optional<int> level;      // of compressed files; none: each compression's standard

  // The form of `output` (a file name or "-"), and how it is compressed.
  // Call after GenerateOptionsProblem found nothing.
  RecordForm FormOf(const std::string& output) const {
    return {
        format ? *format : KindOfFile(output).format.value_or(Format::kJsonLines),
        utf8_text || (output == "-" && utf8_standard_output),
        csv_header == CsvHeader::kEach || (csv_header == CsvHeader::kFirst && shard.index == 1)};
  }
  Compression CompressionOf(const std::string& output) const {
    return output == "-" ? Compression::kNone : KindOfFile(output).compression;
  }
};

// Declares the generate command's arguments on `command`, to be stored in
// `options`. `invocation` is how a user starts the command
// ("tavisor-generate"), for the examples of --help.
void DescribeGenerate(CLI::App& command, GenerateOptions& options, std::string_view invocation);

// Checks what a parser cannot: returns why `options` cannot work, or an
// empty text.
std::string GenerateOptionsProblem(const GenerateOptions& options);

// What `error`, from parsing `app`'s arguments, says; for an unknown option
// also the closest one that `app` and its commands in use know ("did you
// mean --threads?").
std::string ParseErrorText(const CLI::App& app, const CLI::Error& error);

// A decimal whole number from `low` to `high`, as counts are written:
// digits only ("010" is 10). Returns why `text` is not one, or an empty
// text.
std::string ParseWholeNumber(std::string_view text, std::uint64_t low, std::uint64_t high,
                             std::uint64_t& value);

// An option `name` ("-t,--threads") of `command` whose value is a whole
// number from `low` to `high` (ParseWholeNumber), given to `set`.
CLI::Option* AddWholeNumber(CLI::App& command, const std::string& name, std::uint64_t low,
                            std::uint64_t high, const std::string& help,
                            std::function<void(std::uint64_t)> set);

}  // namespace generate
