#include "items/random_engines.h"

#include <ctime>

namespace tavisor {

namespace {

// Each engine reads the clock itself: whole seconds, low 32 bits.
Mt19937::result_type SeedFromClock() {
  return static_cast<Mt19937::result_type>(static_cast<unsigned long long>(std::time(nullptr)) &
                                           0xFFFFFFFFull);
}

// The runs of the three record engines that the calling thread holds.
// Zero-initialised plain data with no destructor: no code runs for it when
// a thread starts or ends, which keeps it safe in a DLL that is loaded
// after the threads that call it were started, or unloaded before they end
// (MSVC, and MinGW's emulated thread-local storage alike). When a thread
// ends, its unused words simply go with it. The padding keeps the runs off
// the lines of whatever lies next to them, even where the platform does not
// align thread-local storage.
struct ThreadRuns {
  char padding_before[64];
  ThreadRun run[3];
  char padding_after[64];
};
thread_local ThreadRuns this_threads_runs;

}  // namespace

ThreadRun& ThisThreadsRun(int slot) { return this_threads_runs.run[slot]; }

template <class Distributions>
GuardedEngine<Distributions>::GuardedEngine() : engine_(SeedFromClock()) {}

template <class Distributions>
RunEngine<Distributions>::RunEngine(int slot) : engine_(SeedFromClock()), slot_(slot) {}

template <class Distributions>
void RunEngine<Distributions>::TakeRun(ThreadRun& run) {
  {
    std::lock_guard guard(lock_);
    TwistRun(engine_, run);
    run.generation = generation_.load(std::memory_order_relaxed);
  }
  TemperRun(run);  // outside the lock
}

template class RunEngine<ItemDistributions>;
template class RunEngine<CoordDistributions>;
template class RunEngine<DateDistributions>;

namespace {
// Constructed when the library is loaded, in this order.
RunEngine<ItemDistributions> item_engine(0);
RunEngine<CoordDistributions> coord_engine(1);
RunEngine<DateDistributions> date_engine(2);
GuardedEngine<BatchDistributions> batch_engine;
GuardedEngine<PauseDistributions> pause_engine;
}  // namespace

RunEngine<ItemDistributions>& ItemEngine() { return item_engine; }
RunEngine<CoordDistributions>& CoordEngine() { return coord_engine; }
RunEngine<DateDistributions>& DateEngine() { return date_engine; }
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
