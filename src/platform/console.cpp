#include "platform/console.h"

#include <atomic>
#include <iostream>
#include <mutex>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tavisor::platform {

#if defined(_WIN32)

unsigned GetConsoleOutputCodePage() { return ::GetConsoleOutputCP(); }

void SetConsoleOutputCodePage(unsigned code_page) { ::SetConsoleOutputCP(code_page); }

#else

namespace {
// A fresh Windows console in Western Europe starts with the OEM code page
// 850, so the stand-in starts there too.
std::atomic<unsigned> stand_in_code_page{850};
}  // namespace

unsigned GetConsoleOutputCodePage() { return stand_in_code_page.load(); }

void SetConsoleOutputCodePage(unsigned code_page) { stand_in_code_page.store(code_page); }

#endif

// The whole text goes out in one write, so that its lines stay whole next
// to lines that other threads, the client's among them, write at the same
// time; the lock keeps the library's own lines apart on any stream.
void Console::WriteWhole(const std::string& text) const {
  static std::mutex console_mutex;
  std::lock_guard lock(console_mutex);
  if (hook_ != nullptr) hook_(text, false);
  std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
  std::cout.flush();
  if (hook_ != nullptr) hook_(text, true);
}

void Console::WriteLine(std::string_view first, std::string_view second) const {
  std::string line;
  line.reserve(first.size() + second.size() + 1);
  line.append(first).append(second).push_back('\n');
  WriteWhole(line);
}

void Console::WriteLines(std::initializer_list<std::string_view> lines) const {
  std::string text;
  for (const std::string_view line : lines) text.append(line).push_back('\n');
  WriteWhole(text);
}

}  // namespace tavisor::platform
