#include "items/random_engines.h"

#include <ctime>

namespace tavisor {

template <class Distributions>
GuardedEngine<Distributions>::GuardedEngine()
    // Each engine reads the clock itself: whole seconds, low 32 bits.
    : engine_(static_cast<Mt19937::result_type>(
          static_cast<unsigned long long>(std::time(nullptr)) & 0xFFFFFFFFull)) {}

namespace {
// Constructed when the library is loaded, in this order.
GuardedEngine<ItemDistributions> item_engine;
GuardedEngine<CoordDistributions> coord_engine;
GuardedEngine<DateDistributions> date_engine;
GuardedEngine<BatchDistributions> batch_engine;
GuardedEngine<PauseDistributions> pause_engine;
}  // namespace

GuardedEngine<ItemDistributions>& ItemEngine() { return item_engine; }
GuardedEngine<CoordDistributions>& CoordEngine() { return coord_engine; }
GuardedEngine<DateDistributions>& DateEngine() { return date_engine; }
GuardedEngine<BatchDistributions>& BatchEngine() { return batch_engine; }
GuardedEngine<PauseDistributions>& PauseEngine() { return pause_engine; }

void SeedAllEngines(Mt19937::result_type seed) {
  item_engine.Seed(seed);
  coord_engine.Seed(seed);
  date_engine.Seed(seed);
  batch_engine.Seed(seed);
  pause_engine.Seed(seed);
}

}  // namespace tavisor
