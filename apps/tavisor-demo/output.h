// The demo's console: whole lines and whole records, from any thread.
#pragma once

#include <iostream>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

#include "tavisor/item.h"

namespace demo {

// Windows-1252 text as UTF-8.
std::string Cp1252ToUtf8(std::string_view text);

class Output {
 public:
  // `utf8`: convert the Windows-1252 bytes for a UTF-8 terminal; otherwise
  // write them unchanged.
  explicit Output(bool utf8, std::ostream& stream = std::cout) : utf8_(utf8), stream_(stream) {}

  // `text` and an end of line, written in one piece and flushed.
  void Line(std::string_view text);
  // `heading` on a line of its own, then the record's Estonian print-out.
  void Record(std::string_view heading, const tavisor::Item& item);
  // The interactive prompt, without an end of line.
  void Prompt();

 private:
  void Write(std::string text);

  const bool utf8_;
  std::ostream& stream_;
  std::mutex mutex_;
};

}  // namespace demo
