#include "generate_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "compression.h"
#include "database_file.h"
#include "job_array.h"
#include "output_files.h"
#include "paths.h"

namespace generate {

namespace {

constexpr unsigned kMostThreads = 64;
constexpr std::uint64_t kMostRecords = 1'000'000'000'000;
constexpr std::uint64_t kMostShards = 1'000'000;
// ".gz 1 to 12 (default 5), .zst 1 to 19 (default 1)": the levels this
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
         "run leaves the files as they were, and a replaced file keeps its permissions. Ctrl-C\n"
         "(or SIGTERM, SIGHUP) stops it, leaving whole records in new files and the files that\n"
         "were there as they were (--keep-partial replaces them).\n"
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

// "I/N": part I (from 1) of N; "auto" or "auto/N": the part of the job
// array the process runs in.
Shard ParseShard(const std::string& text) {
  const std::size_t slash = text.find('/');
  Shard shard;
  if (text.substr(0, slash) == "auto") {
    std::optional<std::uint64_t> parts;
    if (slash != std::string::npos) {
      std::uint64_t n = 0;
      if (const std::string problem =
              ParseWholeNumber(std::string_view(text).substr(slash + 1), 1, kMostShards, n);
          !problem.empty()) {
        throw CLI::ValidationError("--shard", "auto/N: " + problem);
      }
      parts = n;
    }
    auto found = ShardOfJobArray(ProcessEnvironment(), parts);
    if (const auto* problem = std::get_if<std::string>(&found)) {
      throw CLI::ValidationError("--shard", *problem);
    }
    shard = std::get<Shard>(found);
    if (shard.parts > kMostShards) {
      throw CLI::ValidationError(
          "--shard", "a job array of more than " + std::to_string(kMostShards) + " parts");
    }
    return shard;
  }
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
  CLI::Option* count = AddWholeNumber(command, "COUNT", 0, kMostRecords, "How many random records",
                                      [&options](std::uint64_t n) { options.count = n; });
  CLI::Option* test =
      command.add_flag("--test", options.test,
                       "The " + std::to_string(tavisor::kTestItemCount) + " test records instead");
  count->excludes(test);
  command
      .add_option_function<std::string>(
          "-f,--format",
          [&options](const std::string& name) { options.format = FormatByName(name); },
          "jsonl, json, csv, text or sqlite (default: by each file's extension)")
      ->check(CLI::IsMember({"jsonl", "json", "csv", "text", "sqlite"}))
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
          "run; auto (or auto/N): the part of the Slurm job array or Kubernetes Indexed Job "
          "this runs in. {shard} in a file name becomes I")
      ->type_name("I/N");
  command
      .add_option_function<std::string>(
          "--csv-header",
          [&options](const std::string& name) {
            options.csv_header = name == "each"   ? CsvHeader::kEach
                                 : name == "none" ? CsvHeader::kNone
                                                  : CsvHeader::kFirst;
          },
          "Which CSV files get the header row: first (default: part 1 only, so the parts "
          "concatenate to the run), each (every part loads on its own) or none")
      ->check(CLI::IsMember({"first", "each", "none"}))
      ->type_name("WHICH");
  command.add_flag("--append", options.append,
                   "Add the records to the SQLite databases named (made if there are none) "
                   "instead of replacing them");
  command
      .add_option_function<std::string>(
          "--schema",
          [&options](const std::string& name) {
            options.schema = name == "sql" ? Format::kSqlite : FormatByName(name);
          },
          "Print the layout of a form instead of records: jsonl (a JSON Schema of a record), "
          "csv (the columns and their types) or sql (the database's CREATE TABLE statements)")
      ->check(CLI::IsMember({"jsonl", "json", "csv", "sql"}))
      ->type_name("FORM");
  // The highest level of any compression; each file's own range is checked
  // with the files.
  const int most_level =
      std::max({1, LevelsOf(Compression::kGzip).high, LevelsOf(Compression::kZstd).high});
  AddWholeNumber(command, "--level", 1, static_cast<std::uint64_t>(most_level),
                 "How hard to compress: " + LevelsHelp(),
                 [&options](std::uint64_t n) { options.level = static_cast<int>(n); });
  command.add_flag("-q,--quiet", options.quiet,
                   "No lines about loading the library and the lists, no progress bar");
  command.add_flag("--force", options.force,
                   "Replace files that you may not write (read-only ones), as cp -f does");
  command.add_flag("--keep-partial", options.keep_partial,
                   "After Ctrl-C, replace existing files with the records written so far "
                   "(default: they stay as they were)");
}

std::string GenerateOptionsProblem(const GenerateOptions& options) {
  if (options.schema) return {};
  if (!options.test && !options.count) return "give a COUNT of random records, or --test";
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
    if (options.format && kind.format && *kind.format != *options.format) {
      return "--output \"" + output + "\": its extension \"" + kind.extension +
             "\" names another form than --format: rename the file or drop --format";
    }
    if (options.FormOf(output).format == Format::kSqlite) {
      if (kind.compression != Compression::kNone)
        return "--output \"" + output + "\": a database is not compressed";
      if (!DatabaseAvailable()) {
        return "--output \"" + output + "\": this build has no SQLite, databases cannot be written";
      }
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
  if (any_form(Format::kSqlite) &&
      std::find(outputs.begin(), outputs.end(), "-") != outputs.end()) {
    return "a SQLite database cannot go to standard output: name a file with --output";
  }
  if (options.append && !any_form(Format::kSqlite)) {
    return "--append applies to SQLite databases (.sqlite, .db) only";
  }
  if (options.utf8_text && !any_form(Format::kText)) {
    return "--encoding applies to the text form only (JSON and CSV are always UTF-8)";
  }
  if (options.shard.parts > 1 && any_form(Format::kJson)) {
    return "--shard cannot split one JSON document (.json): use JSON Lines (.jsonl)";
  }
  if (options.shard.parts > 1 && !options.seed) {
    return "--shard needs --seed: without it each part draws a seed of its own, and the parts "
           "are not parts of one run";
  }
  return {};
}

namespace {

// How many letters to insert, remove or change to make `a` into `b`.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The long option of `app` or of its commands in use closest to `given`
// ("--thread=2", "-seed"), if one is close enough to be what was meant.
std::string ClosestOption(const CLI::App& app, std::string_view given) {
  const std::string_view name = given.substr(0, given.find('='));
  std::string best;
  std::size_t best_distance = std::max<std::size_t>(2, name.size() / 3) + 1;
  const auto consider = [&](const CLI::App& from, const auto& self) -> void {
    for (const CLI::Option* option : from.get_options()) {
      for (const std::string& long_name : option->get_lnames()) {
        const std::string candidate = "--" + long_name;
        if (const std::size_t distance = EditDistance(name, candidate); distance < best_distance) {
          best = candidate;
          best_distance = distance;
        }
      }
    }
    for (const CLI::App* command : from.get_subcommands()) self(*command, self);
  };
  consider(app, consider);
  return best;
}

}  // namespace

std::string ParseErrorText(const CLI::App& app, const CLI::Error& error) {
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    for (const std::string& given : app.remaining(true)) {
      if (given.size() < 2 || given[0] != '-') continue;
      if (const std::string closest = ClosestOption(app, given); !closest.empty()) {
        return "unknown option " + given + ": did you mean " + closest + "?";
      }
    }
  }
  return error.what();
}

}  // namespace generate
