// The interactive mode's input: with line editing and a history (arrow
// keys, Ctrl-R, kept in ~/.tavisor-demo_history and saved with every line)
// when it reads a terminal and the program was built with libedit; plain
// lines otherwise, so that a session piped in reads exactly as before. At
// the editing prompt Ctrl-C drops the line being typed, as in a shell.
#pragma once

#include <istream>
#include <optional>
#include <string>

#include "output.h"

namespace demo {

class LineReader {
 public:
  // Edits lines when `input` is std::cin and standard input is a terminal.
  LineReader(std::istream& input, Output& output);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Shows the prompt and reads one line; nothing at the end of the input.
  std::optional<std::string> Read();

  bool Editing() const { return editing_; }

 private:
  std::istream& input_;
  Output& output_;
  bool editing_ = false;
  std::string history_file_;
};

}  // namespace demo
