#include "line_reader.h"

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
#endif

}  // namespace

LineReader::LineReader(std::istream& input, Output& output) : input_(input), output_(output) {
#if defined(TAVISOR_DEMO_HAVE_LIBEDIT)
  editing_ = &input == &std::cin && IsTerminal(stdin) && IsTerminal(stdout);
  if (!editing_) return;
  rl_readline_name = "tavisor-demo";  // for ~/.editrc
  using_history();
  stifle_history(kHistoryLines);
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    history_file_ = std::string(home) + "/.tavisor-demo_history";
    read_history(history_file_.c_str());  // none yet is fine
  }
#endif
}

LineReader::~LineReader() {
#if defined(TAVISOR_DEMO_HAVE_LIBEDIT)
  if (editing_ && !history_file_.empty()) write_history(history_file_.c_str());
#endif
}

std::optional<std::string> LineReader::Read() {
#if defined(TAVISOR_DEMO_HAVE_LIBEDIT)
  if (editing_) {
    char* const read = readline(kPrompt);
    if (read == nullptr) return std::nullopt;
    std::string line(read);
    std::free(read);
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    return line;
  }
#endif
  output_.Prompt();
  std::string line;
  if (!std::getline(input_, line)) return std::nullopt;
  return line;
}

}  // namespace demo
