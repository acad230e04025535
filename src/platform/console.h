// The console as the library uses it: its output code page, and whole lines
// written to standard output.
#pragma once

#include <initializer_list>
#include <string_view>

namespace tavisor::platform {

// GetConsoleOutputCP / SetConsoleOutputCP on Windows. Elsewhere a
// process-wide value stands in for the console's output code page, so that
// the library behaves (and is tested) the same way on every platform.
unsigned GetConsoleOutputCodePage();
void SetConsoleOutputCodePage(unsigned code_page);

// Writes `first`, `second` and an end of line to standard output and
// flushes. Lines written by several threads at once stay whole.
void WriteConsoleLine(std::string_view first, std::string_view second = {});

// Writes each of `lines` with an end of line, all together and flushed
// once: no other thread's line comes between them.
void WriteConsoleLines(std::initializer_list<std::string_view> lines);

// Tests: called with each text inside the console's lock, right before it
// is written (`written` false) and right after (true); null: none. Not
// exported.
using ConsoleWriteHook = void (*)(std::string_view text, bool written);
void SetConsoleWriteHook(ConsoleWriteHook hook);

}  // namespace tavisor::platform
