// How much of each reference list the records draw from: the first 414
// species and the first 79 municipalities. A list shorter than that cannot
// make records, and what lies beyond is loaded but never drawn.
#pragma once

#include <cstddef>

namespace tavisor {

inline constexpr std::size_t kMinimumSpecies = 414;
inline constexpr std::size_t kMinimumCommunities = 79;

}  // namespace tavisor
