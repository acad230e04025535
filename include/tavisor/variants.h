// The producer variant letters: their normalisation, and which of them
// this build can use across the library's boundary.
#pragma once

#include "tavisor/build_requirements.h"

#include <string>

#include "tavisor/internal/wait_table.h"
#include "tavisor/shared_state.h"

namespace tavisor {

// `letter` in upper case if it is 'a' to 'e'; any other letter unchanged.
// NormalizedVariantLetter (tavisor/shared_state.h) tells the letters apart.
[[deprecated("use tavisor::NormalizedVariantLetter (tavisor/shared_state.h)")]] constexpr char
VariantLetter(char letter) {
  return NormalizedVariantLetter(letter) != '\0' ? NormalizedVariantLetter(letter) : letter;
}

// Why variant `letter` cannot be used with this build, or an empty text.
//
// std::barrier and std::latch of GCC's libstdc++ wake their waiters through
// a table in inline header code, one copy per module (tavisor/internal/wait_table.h).
// On Linux the program exports its copy (link with -rdynamic) and the
// library uses it; a program that does not, and a MinGW-built DLL, which
// always keeps a copy of its own, would never be woken by B and D
// producers: they are refused rather than left to hang. (Within one
// module, as in the library's own tests, they work.)
inline std::string VariantUnavailableReason(char letter) {
  if (letter != 'B' && letter != 'D') return {};
#if defined(__MINGW32__)
  return std::string("Variant ") + letter +
         " does not work with a MinGW build: its wake-ups cannot cross the DLL boundary "
         "(use A, C or E)";
#else
  if (!internal::ProgramSharesWaitTable()) {
    return std::string("Variant ") + letter +
           " cannot wake this program: link it with -rdynamic (CMake: ENABLE_EXPORTS, which "
           "Tavisor::Tavisor sets) so that the library shares its std::barrier/std::latch "
           "wait table (use A, C or E otherwise)";
  }
  return {};
#endif
}

}  // namespace tavisor
