#include "items/random_engines.h"

#include <atomic>
#include <ctime>

namespace tavisor {

namespace {

// The library engines' seed: the clock in whole seconds, low 32 bits.
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

// Generation 0 is that of a thread's runs before its first: never an
// engine's.
std::uint32_t NewGeneration() {
  static std::atomic<std::uint32_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

ThreadRun& ThisThreadsRun(int slot) { return this_threads_runs.run[slot]; }

template <class Distributions>
GuardedEngine<Distributions>::GuardedEngine() : engine_(SeedFromClock()) {}

template <class Distributions>
RunEngine<Distributions>::RunEngine(int slot, Mt19937::result_type seed)
    : engine_(seed), generation_(NewGeneration()), slot_(slot) {}

template <class Distributions>
void RunEngine<Distributions>::TakeRun(ThreadRun& run) {
  {
    std::lock_guard guard(lock_);
    TwistRun(engine_, run);
    run.generation = generation_;
  }
  TemperRun(run);  // outside the lock
}

template class RunEngine<ItemDistributions>;
template class RunEngine<CoordDistributions>;
template class RunEngine<DateDistributions>;

namespace {
// Constructed when the library is loaded, in this order.
RecordEngines record_engines(SeedFromClock());
GuardedEngine<BatchDistributions> batch_engine;
GuardedEngine<PauseDistributions> pause_engine;
}  // namespace

RecordEngines& LibraryRecordEngines() { return record_engines; }
GuardedEngine<BatchDistributions>& BatchEngine() { return batch_engine; }
GuardedEngine<PauseDistributions>& PauseEngine() { return pause_engine; }

}  // namespace tavisor
