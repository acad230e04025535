// The library's random engines: five process-wide MT19937 engines, each
// seeded once from the clock when the library is loaded, each with the
// uniform distributions drawn from it. The three that records are made with
// hand their output to threads in runs (RunEngine, three of them make a
// RecordEngines); the producers' two are drawn a value at a time
// (GuardedEngine). Tests that replay a sequence make RecordEngines of their
// own from a seed.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>

#include "items/brief_lock.h"
#include "items/distributions.h"
#include "items/mt19937_blocks.h"
#include "items/word_runs.h"

namespace tavisor {

// An engine with its distributions, drawn under one lock: the producers'
// batch and pause engines. Each is drawn once a cycle, and a pause thread
// lives for one draw, so these hand out values one at a time. Each engine
// starts on a cache line of its own.
template <class Distributions>
class alignas(64) GuardedEngine {
 public:
  GuardedEngine();

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

// This thread's run of the record engine in `slot` (0 to 2).
ThreadRun& ThisThreadsRun(int slot);

// A record engine: a thread takes the engine's next run of words under the
// lock and draws its records' values from it outside the lock.
//
// Why: drawn value by value, every record would move the engine's state,
// its lock and its distributions between cores, about 20 cache lines, and
// threads would barely add records to one another's. A thread takes the
// lock and the state once per run of 2,496 words (about 50 to 100 records),
// and records being made at the same time share no cache line.
//
// What it means for the values: every word of the engine goes to exactly
// one thread, a run at a time, and a thread uses its run's words in the
// engine's order. A thread that makes records alone therefore gets the
// engine's sequence exactly as drawing one value at a time would. With
// several threads the sequence is dealt out in runs instead of value by
// value; the words left unused in a run when its thread ends are never
// used.
//
// A thread holds one run per slot, whichever engine of that slot it came
// from: each engine has a generation of its own in the process, and a run
// of another generation is dropped, so that a thread's first draw from a
// new engine starts at that engine's first word.
template <class Distributions>
class alignas(64) RunEngine {
 public:
  RunEngine(int slot, Mt19937::result_type seed);

  // Calls body(source, distributions): source yields this thread's words.
  // The distributions are made afresh for each call: they hold only their
  // ranges, so a thread's draws touch nothing another thread writes, and
  // the compiler sees each range as a constant (a copy from a member would
  // be loaded and worked out at every draw).
  template <class Body>
  decltype(auto) Draw(Body&& body) {
    ThreadRun& run = ThisThreadsRun(slot_);
    if (run.generation != generation_) run.next = run.end;
    Distributions distributions{};
    RunSource<RunEngine> source(*this, run);
    return body(source, distributions);
  }

 private:
  friend class RunSource<RunEngine>;

  // Refills `run` with the engine's next blocks, under the lock. Kept out of
  // line, so that the draws around it stay small.
  void TakeRun(ThreadRun& run);

  // Written by every run taken.
  BriefLock lock_;
  Mt19937Blocks engine_;
  // Read by every record: on a line of its own, away from what every run
  // taken writes, so that it stays in every core's cache.
  alignas(64) const std::uint32_t generation_;
  const int slot_;
};

// The three engines a record is drawn from, as the record code takes them
// (items/record_maker.h), all started from one seed.
struct RecordEngines {
  explicit RecordEngines(Mt19937::result_type seed)
      : item(0, seed), coord(1, seed), date(2, seed) {}
  RunEngine<ItemDistributions> item;
  RunEngine<CoordDistributions> coord;
  RunEngine<DateDistributions> date;
};

// The library's engines.
RecordEngines& LibraryRecordEngines();
GuardedEngine<BatchDistributions>& BatchEngine();
GuardedEngine<PauseDistributions>& PauseEngine();

}  // namespace tavisor
