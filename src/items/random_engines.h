// The library's random engines: five process-wide MT19937 engines, each
// seeded once from the clock when the library is loaded, each with the
// uniform distributions drawn from it.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>

#include "items/brief_lock.h"

namespace tavisor {

// The MT19937 engine with its state held in 32-bit words: the parameters and
// the sequence are those of std::mt19937, which holds its words in
// uint_fast32_t. That type is 64 bits wide on 64-bit Linux, where g++ then
// makes each draw more than twice as slow; draws are most of the cost of a
// record.
using Mt19937 =
    std::mersenne_twister_engine<std::uint32_t, 32, 624, 397, 31, 0x9908b0dfU, 11, 0xffffffffU, 7,
                                 0x9d2c5680U, 15, 0xefc60000U, 18, 1812433253U>;

// An engine with its distributions, drawn under one lock. Callers take all
// the draws they need in one Draw call and do the rest of their work
// outside it, so that threads making records at once hardly wait. Each
// engine starts on a cache line of its own: a thread waiting for one
// engine's lock then does not slow the drawing from the engine before it.
template <class Distributions>
class alignas(64) GuardedEngine {
 public:
  GuardedEngine();

  // Restarts the engine from `seed`; tests use it to replay a sequence.
  void Seed(Mt19937::result_type seed) {
    std::lock_guard guard(lock_);
    engine_.seed(seed);
  }

  template <class Body>
  decltype(auto) Draw(Body&& body) {
    std::lock_guard guard(lock_);
    return body(engine_, distributions_);
  }

 private:
  BriefLock lock_;
  Mt19937 engine_;
  Distributions distributions_;
};

using Uniform = std::uniform_int_distribution<int>;

struct ItemDistributions {
  Uniform species{0, 413};
  Uniform sightings{1, 15};
  Uniform coin{1, 100};
  Uniform community{0, 78};
  Uniform birds{1, 10};
};

struct CoordDistributions {
  Uniform latitude_degrees{57, 59};
  Uniform longitude_degrees{21, 28};
  Uniform arc_minutes_seconds{0, 59};
};

struct DateDistributions {
  Uniform year{1950, 2025};
  Uniform month{1, 12};
  Uniform day{1, 31};
  Uniform hour{0, 23};
  Uniform minute{0, 60};
  Uniform second{0, 60};
};

struct BatchDistributions {
  Uniform batch_size{1, 4};
};

struct PauseDistributions {
  Uniform pause_seconds{1, 10};
};

GuardedEngine<ItemDistributions>& ItemEngine();
GuardedEngine<CoordDistributions>& CoordEngine();
GuardedEngine<DateDistributions>& DateEngine();
GuardedEngine<BatchDistributions>& BatchEngine();
GuardedEngine<PauseDistributions>& PauseEngine();

// Restarts all five engines from `seed` (not exported; for tests).
void SeedAllEngines(Mt19937::result_type seed);

}  // namespace tavisor
