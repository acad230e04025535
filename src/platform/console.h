// The console as the library uses it: its output code page, and whole lines
// written to standard output.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tavisor::platform {

// GetConsoleOutputCP / SetConsoleOutputCP on Windows. Elsewhere a
// process-wide value stands in for the console's output code page, so that
// the library behaves (and is tested) the same way on every platform.
unsigned GetConsoleOutputCodePage();
void SetConsoleOutputCodePage(unsigned code_page);

// Called with each text inside the console's lock, right before it is
// written (`written` false) and right after (true).
using ConsoleWriteHook = void (*)(std::string_view text, bool written);

// Standard output as one writer of the library's lines sees it. The library
// writes through Console{}; a test that must see each write at the moment
// it happens passes a Console with a hook to the code under test.
class Console {
 public:
  constexpr Console() = default;
  constexpr explicit Console(ConsoleWriteHook hook) : hook_(hook) {}

  // Writes `first`, `second` and an end of line to standard output and
  // flushes. Lines written by several threads at once stay whole.
  void WriteLine(std::string_view first, std::string_view second = {}) const;

  // Writes each of `lines` with an end of line, all together and flushed
  // once: no other thread's line comes between them.
  void WriteLines(std::initializer_list<std::string_view> lines) const;

 private:
  void WriteWhole(const std::string& text) const;

  ConsoleWriteHook hook_ = nullptr;
};

}  // namespace tavisor::platform
