// The producer variant letters as the demo accepts them.
#pragma once

#include <optional>
#include <string>

#include "tavisor/hand_over.h"

namespace demo {

// 'A' to 'E' for the letters a to e in either case, nothing otherwise.
inline std::optional<char> VariantLetter(char c) {
  if (c >= 'a' && c <= 'e') return static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'E') return c;
  return std::nullopt;
}

// Why variant `letter` cannot work in this build, or an empty text.
using tavisor::VariantUnavailableReason;

}  // namespace demo
