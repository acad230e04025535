#include "prompt_reader.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "console_control.h"

#if defined(TAVISOR_DEMO_HAVE_LIBEDIT)
#include <editline/readline.h>
#endif

namespace demo {

namespace {

#if defined(TAVISOR_DEMO_HAVE_LIBEDIT)
constexpr int kHistoryLines = 500;
constexpr int kCtrlCStatus = 130;
#endif

}  // namespace

PromptReader::PromptReader(std::istream& input, console::Output& output)
    : input_(input), output_(output) {
#if defined(TAVISOR_DEMO_HAVE_LIBEDIT)
  editing_ = &input == &std::cin && console::IsTerminal(stdin) && console::IsTerminal(stdout);
  if (!editing_) return;
  rl_readline_name = "tavisor-demo";  // for ~/.editrc
  rl_catch_signals = 0;               // the signals are the reader's own (Read)
  using_history();
  stifle_history(kHistoryLines);
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    history_file_ = std::string(home) + "/.tavisor-demo_history";
    read_history(history_file_.c_str());  // none yet is fine
  }
#endif
}

PromptReader::~PromptReader() = default;

std::optional<std::string> PromptReader::Read() {
#if defined(TAVISOR_DEMO_HAVE_LIBEDIT)
  if (editing_) {
    for (;;) {
      char* read = nullptr;
      int ended_by = 0;
      {
        // Ctrl-C while a line is edited drops the line and shows a fresh
        // prompt, as a shell does; SIGTERM and SIGHUP end the input. (While a
        // command runs, Ctrl-C ends the program.)
        const console::InterruptCatcher catcher;
        read = readline(console::kPrompt);
        if (catcher.Requested()) ended_by = catcher.ExitStatus();
      }
      if (read == nullptr && ended_by == kCtrlCStatus) {
        std::fputs("\n", stdout);
        continue;
      }
      if (read == nullptr) return std::nullopt;
      std::string line(read);
      std::free(read);
      if (line.find_first_not_of(" \t") != std::string::npos) {
        add_history(line.c_str());
        // Saved at once: every way out of the program keeps it.
        if (!history_file_.empty()) write_history(history_file_.c_str());
      }
      return line;
    }
  }
#endif
  output_.Prompt();
  std::string line;
  if (!std::getline(input_, line)) return std::nullopt;
  return line;
}

}  // namespace demo
