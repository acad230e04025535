#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <iostream>

#include "generate.h"
#include "modes.h"
#include "prompt_reader.h"
#include "tavisor/variants.h"
#include "timeline_files.h"

namespace demo {

namespace {

using Words = std::vector<std::string>;

constexpr long kMostRandomRecords = 100;
constexpr long kLongestWait = 600;
constexpr long kDefaultWait = 20;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

Words SplitWords(const std::string& line) {
  std::istringstream in(line);
  Words words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// A whole number from `low` to `high`, or nothing.
std::optional<long> Number(const std::string& text, long low, long high) {
  std::size_t used = 0;
  long value = 0;
  try {
    value = std::stol(text, &used);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (used != text.size() || value < low || value > high) return std::nullopt;
  return value;
}

struct Command {
  const char* name;
  const char* arguments;
  std::string help;
  // Returns false when the command was used wrongly; the caller then shows
  // its usage.
  std::function<bool(App&, const Words&)> run;
};

bool Random(App& app, const Words& args) {
  if (args.size() > 1) return false;
  const std::optional<long> count =
      args.empty() ? std::optional<long>(1) : Number(args[0], 1, kMostRandomRecords);
  if (!count) {
    app.output().Line("random: \"" + args[0] + "\" is not a number from 1 to " +
                      std::to_string(kMostRandomRecords));
    return true;
  }
  app.ShowRandom(static_cast<int>(*count));
  return true;
}

bool Test(App& app, const Words& args) {
  if (args.size() != 1) return false;
  // Any whole number is taken here; the range check is ShowTest's.
  const std::optional<long> n = Number(args[0], -1000000, 1000000);
  if (!n) {
    app.output().Line("test: \"" + args[0] + "\" is not a number (use 0 to " +
                      std::to_string(tavisor::kTestItemCount - 1) + ")");
    return true;
  }
  app.ShowTest(static_cast<std::int32_t>(*n));
  return true;
}

// "start A C E" and "start ace" alike. Nothing starts if a letter is wrong.
bool Start(App& app, const Words& args) {
  if (args.empty()) return false;
  std::string letters;
  for (const std::string& word : args) {
    for (const char c : word) {
      const char letter = tavisor::NormalizedVariantLetter(c);
      if (letter == '\0') {
        app.output().Line(std::string("start: unknown variant \"") + c +
                          "\": the variants are A, B, C, D and E; nothing started");
        return true;
      }
      letters += letter;
    }
  }
  for (const char letter : letters) app.StartProducer(letter);
  return true;
}

bool Stop(App& app, const Words& args) {
  if (!args.empty()) return false;
  if (app.producers().Running() == 0) {
    app.output().Line("No producer is running");
    return true;
  }
  const std::size_t stopped = app.producers().StopAll();
  app.output().Line("Stopped " + std::to_string(stopped) + " producer(s)");
  return true;
}

bool Wait(App& app, const Words& args) {
  if (args.size() > 1) return false;
  const std::optional<long> seconds =
      args.empty() ? std::optional<long>(kDefaultWait) : Number(args[0], 1, kLongestWait);
  if (!seconds) {
    app.output().Line("wait: \"" + args[0] + "\" is not a number of seconds from 1 to " +
                      std::to_string(kLongestWait));
    return true;
  }
  if (app.producers().Running() == 0) {
    app.output().Line("No producer is running");
    return true;
  }
  const bool all =
      app.producers().AwaitMoreBatches(1, Clock::now() + std::chrono::seconds(*seconds));
  app.output().Line(all ? "Every running producer has delivered another batch"
                        : "Not every producer delivered a batch in time");
  return true;
}

bool Status(App& app, const Words& args) {
  if (!args.empty()) return false;
  const std::string letters = app.producers().RunningLetters();
  app.output().Line(
      std::string("Reference lists ") + (app.ListsLoaded() ? "loaded" : "not loaded") + "; " +
      (letters.empty() ? std::string("no producer running") : "producers running: " + letters));
  return true;
}

bool Load(App& app, const Words& args) {
  if (args.size() != 1) return false;
  app.LoadLists(args[0]);
  return true;
}

// The same arguments as the program's generate command, and the same code;
// random records come from the lists that `app` loaded.
bool Generate(App& app, const Words& args) {
  generate::GenerateOptions options;
  CLI::App command("", "generate");
  generate::DescribeGenerate(command, options, "generate");
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
  try {
    command.parse(reversed);
    if (const std::string problem = generate::GenerateOptionsProblem(options); !problem.empty()) {
      throw CLI::ValidationError("generate", problem);
    }
  } catch (const CLI::CallForHelp&) {
    app.output().Line(command.help());
    return true;
  } catch (const CLI::ParseError& e) {
    app.output().Line("generate: " + generate::ParseErrorText(command, e));
    return false;
  }
  options.utf8_standard_output = app.output().Utf8();  // as the print-out at the prompt
  console::Output messages(false, std::cerr);
  messages.SetErrorPrefix("generate: ");
  messages.SetQuiet(options.quiet);
  if (options.test) {
    generate::GenerateTestRecords(app.library(), options, app.start_directory(), messages);
  } else if (!app.ListsLoaded()) {
    messages.Error("no random records without the reference lists");
  } else if (const std::optional<tavisor::RecordStream> stream =
                 generate::OpenRecordStream(options, app.lists_directory(), messages)) {
    generate::GenerateRandomRecords(*stream, options, app.start_directory(), messages);
  }
  return true;
}

bool Timeline(App& app, const Words& args) {
  if (args.size() != 1) return false;
  if (!timeline::IsTimelineFile(args[0])) {
    app.output().Line("timeline: \"" + args[0] + "\" does not end in .json, .svg or .html");
    return true;
  }
  app.WriteTimeline(args[0]);
  return true;
}

const std::vector<Command>& Commands();

bool Help(App& app, const Words&) {
  app.output().Line("Commands:");
  for (const Command& command : Commands()) {
    std::string line = std::string("  ") + command.name + " " + command.arguments;
    line.resize(std::max<std::size_t>(line.size() + 1, 18), ' ');
    app.output().Line(line + command.help);
  }
  return true;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"random", "[N]", "show N new random records (1 to 100, default 1)", Random},
      {"test", "N", "show test record N (0 to " + std::to_string(tavisor::kTestItemCount - 1) + ")",
       Test},
      {"start", "X...", "start producers of variants A to E, e.g. start A C E", Start},
      {"wait", "[S]", "wait until every running producer has sent another batch (at most S s)",
       Wait},
      {"stop", "", "stop every running producer", Stop},
      {"status", "", "show the lists' state and the running producers", Status},
      {"generate", "COUNT|--test [-o FILE]...",
       "write records to files (generate --help tells more)", Generate},
      {"timeline", "FILE",
       "write the hand-over recorded so far: a trace (.json), a picture (.svg) or a page (.html)",
       Timeline},
      {"load", "DIR", "load the reference lists from DIR (no producer may run)", Load},
      {"help", "", "show this list", Help},
      {"quit", "", "stop every producer and leave (also: exit, end of input)", nullptr},
  };
  return commands;
}

}  // namespace

int RunInteractive(App& app, std::istream& input) {
  console::Output& out = app.output();
  // Each command says itself what went wrong.
  out.SetErrorPrefix("");
  out.Line("Interactive mode: type help for the commands");
  PromptReader reader(input, out);
  for (;;) {
    const std::optional<std::string> line = reader.Read();
    if (!line) {
      out.Line("");
      break;
    }
    const Words words = SplitWords(*line);
    if (words.empty()) continue;
    const std::string name = Lower(words[0]);
    if (name == "quit" || name == "exit") break;
    if (tavisor::Timeline* timeline = app.timeline()) timeline->Mark(*line);
    const Words args(words.begin() + 1, words.end());
    const Command* found = nullptr;
    for (const Command& command : Commands()) {
      if (name == command.name) found = &command;
    }
    if (found == nullptr) {
      out.Line("Unknown command \"" + words[0] + "\": type help for the commands");
    } else if (!found->run(app, args)) {
      out.Line(std::string("Usage: ") + found->name + " " + found->arguments);
    }
  }
  EndProducers(app);
  out.Line("Bye");
  return 0;
}

}  // namespace demo
