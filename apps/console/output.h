// The programs' console: whole lines and whole records, from any thread.
#pragma once

#include <iostream>
#include <ostream>
#include <string>
#include <string_view>

#include "tavisor/internal/thread_annotations.h"
#include "tavisor/item.h"

namespace console {

// What becomes of the five bytes that Windows-1252 leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D).
enum class UndefinedBytes {
  // U+FFFD: for a terminal, which would act on the C1 control characters
  // (0x9D as U+009D starts an operating system command).
  kReplace,
  // The C1 control characters of the same number (U+0081 ...), as Windows'
  // own conversion and the WHATWG decoder do: nothing is lost, and a file
  // converted back to Windows-1252 gets its bytes back.
  kControls,
};

// Windows-1252 text as UTF-8.
std::string Cp1252ToUtf8(std::string_view text,
                         UndefinedBytes undefined = UndefinedBytes::kReplace);

// One Windows-1252 byte as UTF-8 (one to three bytes).
std::string Cp1252ToUtf8(char byte, UndefinedBytes undefined);

// What the interactive mode shows when it waits for a command.
inline constexpr char kPrompt[] = "tavisor> ";

class Output {
 public:
  // `utf8`: convert the Windows-1252 bytes for a UTF-8 terminal; otherwise
  // write them unchanged.
  explicit Output(bool utf8, std::ostream& stream = std::cout) : utf8_(utf8), stream_(stream) {}

  // `text` and an end of line, written in one piece and flushed.
  void Line(std::string_view text);
  // A line that tells how things went, which --quiet leaves out.
  void Note(std::string_view text);
  // A line that tells what failed, after the error prefix (the program's
  // name on the command line, "tavisor-demo: "; at the prompt the
  // command's name).
  void Error(std::string_view text);

  // Whether the Windows-1252 bytes are converted to UTF-8.
  bool Utf8() const { return utf8_; }
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  void SetErrorPrefix(std::string prefix) { error_prefix_ = std::move(prefix); }
  const std::string& ErrorPrefix() const { return error_prefix_; }
  // `heading` on a line of its own, then the record's Estonian print-out.
  void Record(std::string_view heading, const tavisor::Item& item);
  // The interactive prompt, without an end of line.
  void Prompt();

 private:
  void Write(std::string text);

  const bool utf8_;
  tavisor::internal::Mutex mutex_;
  std::ostream& stream_ TAVISOR_GUARDED_BY(mutex_);
  bool quiet_ = false;
  std::string error_prefix_;
};

}  // namespace console
