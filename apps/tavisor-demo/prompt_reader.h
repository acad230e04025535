// The interactive mode's input: with line editing and a history (arrow
// keys, Ctrl-R, kept in ~/.tavisor-demo_history and saved with every line)
// when it reads a terminal and the program was built with libedit; plain
// lines otherwise, so that a session piped in reads its lines unchanged. At
// the editing prompt Ctrl-C drops the line being typed, as in a shell.
#pragma once

#include <istream>
#include <optional>
#include <string>

#include "output.h"

namespace demo {

class PromptReader {
 public:
  // Edits lines when `input` is std::cin and standard input is a terminal.
  PromptReader(std::istream& input, console::Output& output);
  ~PromptReader();
  PromptReader(const PromptReader&) = delete;
  PromptReader& operator=(const PromptReader&) = delete;

  // Shows the prompt and reads one line; nothing at the end of the input.
  std::optional<std::string> Read();

  bool Editing() const { return editing_; }

 private:
  std::istream& input_;
  console::Output& output_;
  bool editing_ = false;
  std::string history_file_;
};

}  // namespace demo
