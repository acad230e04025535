#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "variants.h"

namespace demo {

namespace {

constexpr unsigned kMostThreads = 64;
constexpr std::uint64_t kMostRecords = 1'000'000'000'000;

const char* const kDescription =
    "Loads the Tavisor library, loads the bird and municipality lists of DIR (by default\n"
    "the bundled data/ directory) and shows records in their Estonian text form. Without\n"
    "--interactive it prints a few random and test records, then runs one producer\n"
    "(--variant) for a few batches (--batches) and stops it. --interactive reads commands\n"
    "instead; type help there. The generate command writes records to files.";

const char* const kGenerateDescription =
    "Writes COUNT random records, or with --test the 17 test records, to standard output\n"
    "or to the --output files: as JSON Lines or CSV (UTF-8), or as the Estonian text form\n"
    "(Windows-1252, or UTF-8 with --encoding utf-8). Ctrl-C stops it, leaving whole records.";

const char* const kGenerateExamples =
    "Formats: jsonl (one JSON object per record), csv (a header row, then one row per\n"
    "observation with the record's columns repeated), text (the print-out).\n"
    "\n"
    "Examples:\n"
    "  tavisor-demo generate 1000000 -o birds.jsonl --threads 2\n"
    "  tavisor-demo generate 5000 -o birds.csv -o birds.txt\n"
    "  tavisor-demo generate --test --format text --encoding utf-8";

}  // namespace

RecordForm GenerateOptions::FormOf(const std::string& output) const {
  RecordForm form;
  form.format = format ? *format : KindOfFile(output).format.value_or(Format::kJsonLines);
  form.utf8_text = utf8_text;
  return form;
}

void DescribeGenerate(CLI::App& command, GenerateOptions& options) {
  command.description("Write random or test records as JSON Lines, CSV or text");
  command.footer(std::string(kGenerateDescription) + "\n\n" + kGenerateExamples);
  CLI::Option* count = command.add_option("COUNT", options.count, "How many random records")
                           ->type_name("N")
                           ->check(CLI::Range(std::uint64_t{1}, kMostRecords));
  CLI::Option* test = command.add_flag("--test", options.test, "The 17 test records instead");
  count->excludes(test);
  command
      .add_option_function<std::string>(
          "-f,--format",
          [&options](const std::string& name) { options.format = FormatByName(name); },
          "jsonl, csv or text (default: by each file's extension .jsonl, .json, .csv or .txt, "
          "else jsonl)")
      ->check(CLI::IsMember({"jsonl", "csv", "text"}))
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
  command.add_option("-t,--threads", options.threads, "Threads that make records (default 1)")
      ->check(CLI::Range(1u, kMostThreads));
}

std::string GenerateOptionsProblem(const GenerateOptions& options) {
  if (!options.test && options.count == 0) return "give a COUNT of random records, or --test";
  std::vector<std::string> outputs = options.outputs;
  if (outputs.empty()) outputs.push_back("-");
  std::sort(outputs.begin(), outputs.end());
  if (const auto twice = std::adjacent_find(outputs.begin(), outputs.end());
      twice != outputs.end()) {
    return "--output \"" + *twice + "\" is named twice";
  }
  if (options.utf8_text && std::none_of(outputs.begin(), outputs.end(), [&](const auto& output) {
        return options.FormOf(output).format == Format::kText;
      })) {
    return "--encoding applies to the text form only (JSON Lines and CSV are always UTF-8)";
  }
  return {};
}

std::optional<int> ParseCommandLine(int argc, const char* const* argv, Options& options) {
  CLI::App app(kDescription, "tavisor-demo");
  app.set_version_flag("--version", "tavisor-demo " TAVISOR_VERSION);
  // The program's options may also follow the command.
  app.fallthrough();
  CLI::Option* interactive =
      app.add_flag("-i,--interactive", options.interactive, "Read commands instead");
  app.add_option("--data", options.data, "The directory of the two lists")->type_name("DIR");
  app.add_option_function<std::string>(
         "--variant",
         [&options](const std::string& text) {
           const std::optional<char> letter =
               text.size() == 1 ? VariantLetter(text[0]) : std::nullopt;
           if (!letter) {
             throw CLI::ValidationError("--variant",
                                        "needs one of the letters A to E, not \"" + text + "\"");
           }
           options.variant = *letter;
         },
         "The default run's producer variant, A to E (default A)")
      ->type_name("A-E");
  app.add_option("--batches", options.batches,
                 "Batches the default run waits for, 0 to 100 (default 2; 0: no producer)")
      ->check(CLI::Range(0, 100))
      ->type_name("N");
  app.add_option("--library", options.library,
                 "The library to load (default: the one next to this program)")
      ->type_name("FILE");
  app.add_flag("--utf8", options.utf8, "Convert the Windows-1252 print-out for a UTF-8 terminal");

  GenerateOptions generate;
  CLI::App* generate_command = app.add_subcommand("generate", "");
  DescribeGenerate(*generate_command, generate);
  generate_command->excludes(interactive);

  try {
    app.parse(argc, argv);
    if (generate_command->parsed()) {
      if (const std::string problem = GenerateOptionsProblem(generate); !problem.empty()) {
        throw CLI::ValidationError("generate", problem);
      }
      options.generate = generate;
    }
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help or --version
  } catch (const CLI::ParseError& e) {
    const bool in_generate = generate_command->parsed();
    std::cerr << "tavisor-demo: " << e.what() << "\nRun \"tavisor-demo "
              << (in_generate ? "generate " : "") << "--help\" for the usage\n";
    return 2;
  }
  return std::nullopt;
}

}  // namespace demo
