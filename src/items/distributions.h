// The ranges that records and producers draw from, one set of
// distributions per engine, and the uniform draw that seeded records use.
//
// The ranges are written once, here, for whichever uniform draw a set is
// made with: the library's engines draw through
// std::uniform_int_distribution, seeded record streams through
// PortableUniform (below).
#pragma once

#include <cstdint>
#include <random>

#include "refdata/drawn_lengths.h"

namespace tavisor {

// A whole number from a closed range, drawn from 32-bit words by one
// multiplication and, now and then, a rejection (Lemire, "Fast Random
// Integer Generation in an Interval", 2019): the word times the number of
// values gives the value in its upper half; a lower half below
// 2^32 mod range means the word falls in the uneven remainder, and the
// next word is tried.
//
// Why not std::uniform_int_distribution: the standard leaves its algorithm
// to each library, so the same words give other values with MSVC than with
// libstdc++, and seeded records must be the same on every platform. This
// is the algorithm that libstdc++ (g++ 11 and later) uses for a 32-bit
// engine, so there both give the same values from the same words.
class PortableUniform {
 public:
  constexpr PortableUniform(int low, int high)
      : low_(low),
        values_(static_cast<std::uint32_t>(high) - static_cast<std::uint32_t>(low) + 1) {}

  template <class Words>
  int operator()(Words& words) {
    static_assert(Words::min() == 0 && Words::max() == 0xFFFFFFFFu, "needs 32-bit words");
    std::uint64_t product = std::uint64_t{words()} * values_;
    auto lower = static_cast<std::uint32_t>(product);
    if (lower < values_) {
      const std::uint32_t uneven = (0u - values_) % values_;
      while (lower < uneven) {
        product = std::uint64_t{words()} * values_;
        lower = static_cast<std::uint32_t>(product);
      }
    }
    return low_ + static_cast<int>(product >> 32);
  }

 private:
  int low_;
  std::uint32_t values_;  // high - low + 1; the ranges drawn here are far below 2^32
};

template <class Uniform>
struct ItemDistributionsOf {
  Uniform species{0, static_cast<int>(kMinimumSpecies) - 1};
  Uniform sightings{1, 15};
  Uniform coin{1, 100};
  Uniform community{0, static_cast<int>(kMinimumCommunities) - 1};
  Uniform birds{1, 10};
};

template <class Uniform>
struct CoordDistributionsOf {
  Uniform latitude_degrees{57, 59};
  Uniform longitude_degrees{21, 28};
  Uniform arc_minutes_seconds{0, 59};
};

template <class Uniform>
struct DateDistributionsOf {
  Uniform year{1950, 2025};
  Uniform month{1, 12};
  Uniform day{1, 31};
  Uniform hour{0, 23};
  Uniform minute{0, 60};
  Uniform second{0, 60};
};

using Uniform = std::uniform_int_distribution<int>;

using ItemDistributions = ItemDistributionsOf<Uniform>;
using CoordDistributions = CoordDistributionsOf<Uniform>;
using DateDistributions = DateDistributionsOf<Uniform>;

struct BatchDistributions {
  Uniform batch_size{1, 4};
};

struct PauseDistributions {
  Uniform pause_seconds{1, 10};
};

}  // namespace tavisor
