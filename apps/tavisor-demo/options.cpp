#include "options.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "tavisor/variants.h"
#include "timeline_files.h"

namespace demo {

namespace {

const char* const kDescription =
    "Loads the Tavisor library, loads the bird and municipality lists of DIR (by default\n"
    "the bundled data/ directory) and shows records in their Estonian text form. Without\n"
    "--interactive it prints a few random and test records, then runs one producer\n"
    "(--variant) for a few batches (--batches) and stops it. --interactive reads commands\n"
    "instead; type help there. The generate command writes records to files.";

}  // namespace

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
           const char letter = text.size() == 1 ? tavisor::NormalizedVariantLetter(text[0]) : '\0';
           if (letter == '\0') {
             throw CLI::ValidationError("--variant",
                                        "needs one of the letters A to E, not \"" + text + "\"");
           }
           options.variant = letter;
         },
         "The default run's producer variant, A to E (default A)")
      ->type_name("A-E");
  generate::AddWholeNumber(
      app, "--batches", 0, 100,
      "Batches the default run waits for, 0 to 100 (default 2; 0: no producer)",
      [&options](std::uint64_t n) { options.batches = static_cast<int>(n); });
  app.add_option("--library", options.library,
                 "The library to load (default: the one next to this program)")
      ->type_name("FILE");
  CLI::Option* timeline_option =
      app.add_option("--timeline", options.timeline,
                     "Record every producer's hand-over and write it at the end to FILE: a trace "
                     "(.json), a picture (.svg) or a page (.html)")
          ->type_name("FILE")
          ->check(
              [](const std::string& file) {
                return timeline::IsTimelineFile(file) ? std::string()
                                                      : "FILE must end in .json, .svg or .html";
              },
              "FILE.json|.svg|.html");
  app.add_flag("--utf8", options.utf8, "Convert the Windows-1252 print-out for a UTF-8 terminal");

  generate::GenerateOptions generate_options;
  CLI::App* generate_command = app.add_subcommand("generate", "");
  generate::DescribeGenerate(*generate_command, generate_options, "tavisor-demo generate");
  generate_command->excludes(interactive);
  generate_command->excludes(timeline_option);

  try {
    app.parse(argc, argv);
    if (generate_command->parsed()) {
      if (const std::string problem = generate::GenerateOptionsProblem(generate_options);
          !problem.empty()) {
        throw CLI::ValidationError("generate", problem);
      }
      // The text form on standard output is the print-out that --utf8
      // converts for the terminal.
      generate_options.utf8_standard_output = options.utf8;
      options.generate = generate_options;
    }
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help or --version
  } catch (const CLI::ParseError& e) {
    const bool in_generate = generate_command->parsed();
    std::cerr << "tavisor-demo: " << generate::ParseErrorText(app, e) << "\nRun \"tavisor-demo "
              << (in_generate ? "generate " : "") << "--help\" for the usage\n";
    return 2;
  }
  return std::nullopt;
}

}  // namespace demo
