// The producer variant letters as the demo accepts them.
#pragma once

#include <optional>
#include <string>

namespace demo {

// 'A' to 'E' for the letters a to e in either case, nothing otherwise.
inline std::optional<char> VariantLetter(char c) {
  if (c >= 'a' && c <= 'e') return static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'E') return c;
  return std::nullopt;
}

// Why variant `letter` cannot work in this build, or an empty text.
//
// std::barrier and std::latch of GCC's standard library wake their waiters
// through a table in inline header code. On Linux this program exports its
// copy (ENABLE_EXPORTS) and the library uses it; a MinGW-built DLL keeps a
// copy of its own that the program cannot share, so B and D would never wake
// this program and are refused instead of hanging.
inline std::string VariantUnavailableReason(char letter) {
#if defined(__MINGW32__)
  if (letter == 'B' || letter == 'D') {
    return std::string("Variant ") + letter +
           " does not work with a MinGW build: its wake-ups cannot cross the DLL "
           "boundary (use A, C or E)";
  }
#else
  (void)letter;
#endif
  return {};
}

}  // namespace demo
