#include "generate_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>

#include "compression.h"
#include "output_files.h"
#include "paths.h"

namespace generate {

namespace {

constexpr unsigned kMostThreads = 64;
constexpr std::uint64_t kMostRecords = 1'000'000'000'000;
constexpr std::uint64_t kMostShards = 1'000'000;
// ".gz 1 to 12 (default 6), .zst 1 to 19 (default 3)": the levels this
// build takes.
std::string LevelsHelp() {
  std::string text;
  for (const Compression compression : {Compression::kGzip, Compression::kZstd}) {
    const Levels levels = LevelsOf(compression);
    if (levels.high == 0) continue;
    if (!text.empty()) text += ", ";
    text += ExtensionOf(compression) + " " + std::to_string(levels.low) + " to " +
            std::to_string(levels.high) + " (default " + std::to_string(levels.standard) + ")";
  }
  return text.empty() ? "not in this build" : text;
}

// The description of --help; `invocation` starts the examples.
std::string Help(std::string_view invocation) {
  const std::string run = "  " + std::string(invocation) + " ";
  return "Writes COUNT random records, or with --test the " +
         std::to_string(tavisor::kTestItemCount) +
         " test records, to standard output\n"
         "or to the --output files: as JSON Lines, JSON or CSV (UTF-8), or as the Estonian text\n"
         "form (Windows-1252, or UTF-8 with --encoding utf-8). The same --seed gives the same\n"
         "records whatever --threads is. A file gets its name only when the run ends: a failed\n"
         "run leaves the files as they were. Ctrl-C (or SIGTERM, SIGHUP) stops it, leaving whole\n"
         "records.\n"
         "\n"
         "Formats: jsonl (.jsonl, .ndjson: one JSON object per record and line), json (.json:\n"
         "one array), csv (.csv: a header row, then one row per observation with the record's\n"
         "columns repeated), text (.txt: the print-out). A further .gz (gzip) or .zst (zstd)\n"
         "compresses the file, chunk by chunk in the threads that make the records; --level:\n" +
         LevelsHelp() +
         ".\n"
         "\n"
         "Examples:\n" +
         run + "1000000 -o birds.jsonl --threads 2\n" + run +
         "5000 -o birds.csv -o birds.txt --seed 42\n" + run +
         "1000000 --seed 42 --shard 2/4 -o part2.csv.gz\n" + run +
         "1000000 -o birds.jsonl.zst --level 9 --threads 2\n" + run +
         "--test --format text --encoding utf-8";
}

// Why `output` cannot be compressed as its name asks at `level`, or an
// empty text.
std::string CompressionProblem(const std::string& output, Compression compression,
                               std::optional<int> level) {
  if (compression == Compression::kNone) return {};
  const std::string extension = ExtensionOf(compression);
  if (LibraryOf(compression).empty()) {
    return "--output \"" + output + "\": this build cannot write " + extension + " files";
  }
  const Levels levels = LevelsOf(compression);
  if (level && (*level < levels.low || *level > levels.high)) {
    return "--level " + std::to_string(*level) + ": " + extension + " files take levels " +
           std::to_string(levels.low) + " to " + std::to_string(levels.high) + " (" +
           LibraryOf(compression) + "), as for --output \"" + output + "\"";
  }
  return {};
}

}  // namespace

std::string ParseWholeNumber(std::string_view text, std::uint64_t low, std::uint64_t high,
                             std::uint64_t& value) {
  const auto quoted = '"' + std::string(text) + '"';
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return quoted + " is not a whole number";
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::string(text) + " is not in the range " + std::to_string(low) + " to " +
           std::to_string(high);
  }
  return {};
}

CLI::Option* AddWholeNumber(CLI::App& command, const std::string& name, std::uint64_t low,
                            std::uint64_t high, const std::string& help,
                            std::function<void(std::uint64_t)> set) {
  const std::string shown = name.substr(name.rfind(',') + 1);  // "-t,--threads": "--threads"
  return command
      .add_option_function<std::string>(
          name,
          [set = std::move(set), low, high, shown](const std::string& text) {
            std::uint64_t parsed = 0;
            if (const std::string problem = ParseWholeNumber(text, low, high, parsed);
                !problem.empty()) {
              throw CLI::ValidationError(shown, problem);
            }
            set(parsed);
          },
          help)
      ->type_name("N");
}

namespace {

// "I/N": part I (from 1) of N.
Shard ParseShard(const std::string& text) {
  const std::size_t slash = text.find('/');
  Shard shard;
  if (slash == std::string::npos ||
      !ParseWholeNumber(std::string_view(text).substr(0, slash), 1, kMostShards, shard.index)
           .empty() ||
      !ParseWholeNumber(std::string_view(text).substr(slash + 1), 1, kMostShards, shard.parts)
           .empty() ||
      shard.index > shard.parts) {
    throw CLI::ValidationError(
        "--shard", "needs I/N, whole numbers with 1 <= I <= N <= " + std::to_string(kMostShards) +
                       ", not \"" + text + "\"");
  }
  return shard;
}

}  // namespace

void DescribeGenerate(CLI::App& command, GenerateOptions& options, std::string_view invocation) {
  command.description("Write random or test records as JSON Lines, JSON, CSV or text");
  command.footer(Help(invocation));
  CLI::Option* count = AddWholeNumber(command, "COUNT", 1, kMostRecords, "How many random records",
                                      [&options](std::uint64_t n) { options.count = n; });
  CLI::Option* test =
      command.add_flag("--test", options.test,
                       "The " + std::to_string(tavisor::kTestItemCount) + " test records instead");
  count->excludes(test);
  command
      .add_option_function<std::string>(
          "-f,--format",
          [&options](const std::string& name) { options.format = FormatByName(name); },
          "jsonl, json, csv or text (default: by each file's extension)")
      ->check(CLI::IsMember({"jsonl", "json", "csv", "text"}))
      ->type_name("FORMAT");
  command
      .add_option("-o,--output", options.outputs,
                  "A file to write (repeatable; - is standard output)")
      ->type_name("FILE")
      ->allow_extra_args(false);
  command
      .add_option_function<std::string>(
          "--encoding",
          [&options](const std::string& name) { options.utf8_text = name == "utf-8"; },
          "The text form's encoding: windows-1252 (default) or utf-8")
      ->check(CLI::IsMember({"windows-1252", "utf-8"}))
      ->type_name("ENCODING");
  AddWholeNumber(command, "-t,--threads", 1, kMostThreads,
                 "Threads that make records (default 1); the records do not depend on it",
                 [&options](std::uint64_t n) { options.threads = static_cast<unsigned>(n); });
  AddWholeNumber(command, "--seed", 0, ~std::uint64_t{0},
                 "The seed of the random records, 0 to 2^64-1 (default: a fresh one, which the "
                 "last line tells)",
                 [&options](std::uint64_t n) { options.seed = n; });
  command
      .add_option_function<std::string>(
          "--shard", [&options](const std::string& text) { options.shard = ParseShard(text); },
          "Write only part I of N of the run: the N parts, one after the other, are the whole "
          "run")
      ->type_name("I/N");
  // The highest level of any compression; each file's own range is checked
  // with the files.
  const int most_level =
      std::max({1, LevelsOf(Compression::kGzip).high, LevelsOf(Compression::kZstd).high});
  AddWholeNumber(command, "--level", 1, static_cast<std::uint64_t>(most_level),
                 "How hard to compress: " + LevelsHelp(),
                 [&options](std::uint64_t n) { options.level = static_cast<int>(n); });
  command.add_flag("-q,--quiet", options.quiet,
                   "No lines about loading the library and the lists, no progress bar");
}

std::string GenerateOptionsProblem(const GenerateOptions& options) {
  if (!options.test && options.count == 0) return "give a COUNT of random records, or --test";
  if (options.test && (options.seed || options.shard.parts > 1)) {
    return "--seed and --shard apply to random records, not to --test";
  }
  std::vector<std::string> outputs = options.outputs;
  if (outputs.empty()) outputs.push_back("-");
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (outputs[i] == outputs[j]) return "--output \"" + outputs[i] + "\" is named twice";
      if (SameFile(outputs[i], outputs[j])) {
        return "--output \"" + outputs[j] + "\" and \"" + outputs[i] + "\" are the same file";
      }
    }
  }
  for (const std::string& output : outputs) {
    if (output == "-") continue;
    const FileKind kind = KindOfFile(output);
    if (!options.format && !kind.format) {
      return "--output \"" + output + "\": " +
             (kind.extension.empty() ? std::string("no extension")
                                     : "unknown extension \"" + kind.extension + "\"") +
             " (.jsonl, .ndjson, .json, .csv or .txt, each may end in .gz or .zst): name the form "
             "with --format";
    }
    if (const std::string problem = CompressionProblem(output, kind.compression, options.level);
        !problem.empty()) {
      return problem;
    }
  }
  if (options.level && std::none_of(outputs.begin(), outputs.end(), [&](const auto& output) {
        return options.CompressionOf(output) != Compression::kNone;
      })) {
    return "--level applies to compressed files (.gz, .zst) only";
  }
  const auto any_form = [&](Format format) {
    return std::any_of(outputs.begin(), outputs.end(),
                       [&](const auto& output) { return options.FormOf(output).format == format; });
  };
  if (options.utf8_text && !any_form(Format::kText)) {
    return "--encoding applies to the text form only (JSON and CSV are always UTF-8)";
  }
  if (options.shard.parts > 1 && any_form(Format::kJson)) {
    return "--shard cannot split one JSON document (.json): use JSON Lines (.jsonl)";
  }
  return {};
}

}  // namespace generate
