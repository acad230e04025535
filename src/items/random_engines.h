// The library's random engines: five process-wide MT19937 engines, each
// seeded once from the clock when the library is loaded, each with the
// uniform distributions drawn from it. The three that records are made with
// hand their output to threads in runs (RunEngine); the producers' two
// are drawn a value at a time (GuardedEngine).
#pragma once

#include <atomic>
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

// This thread's run of the record engine in `slot` (0 to 2).
ThreadRun& ThisThreadsRun(int slot);

// A record engine: a thread takes the engine's next run of words under the
// lock and draws its records' values from it outside the lock.
//
// Why: when all threads drew from one engine value by value, every record
// moved the engine's state, its lock and its distributions between cores,
// about 20 cache lines, and two threads made barely more records than one.
// Now a thread takes the lock and the state once per run of 2,496 words
// (about 50 to 100 records), and records being made at the same time share
// no cache line.
//
// What it means for the values: every word of the engine goes to exactly
// one thread, a run at a time, and a thread uses its run's words in the
// engine's order. A thread that makes records alone therefore gets the
// engine's sequence exactly as drawing one value at a time would. With
// several threads the sequence is dealt out in runs instead of value by
// value; the words left unused in a run when its thread ends are never
// used.
template <class Distributions>
class alignas(64) RunEngine {
 public:
  explicit RunEngine(int slot);

  // Restarts the engine from `seed` and makes every thread drop the words
  // it holds; tests use it to replay a sequence.
  void Seed(Mt19937::result_type seed) {
    std::lock_guard guard(lock_);
    engine_.Seed(seed);
    generation_.fetch_add(1, std::memory_order_relaxed);
  }

  // Calls body(source, distributions): source yields this thread's words.
  // The distributions are made afresh for each call: they hold only their
  // ranges, so a thread's draws touch nothing another thread writes, and
  // the compiler sees each range as a constant (copied from a member, the
  // ranges were loaded and worked out at every draw).
  template <class Body>
  decltype(auto) Draw(Body&& body) {
    ThreadRun& run = ThisThreadsRun(slot_);
    if (run.generation != generation_.load(std::memory_order_relaxed)) run.next = run.end;
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
  // Read by every record, written only by Seed: on a line of its own, so
  // that it stays in every core's cache.
  alignas(64) std::atomic<std::uint32_t> generation_{0};
  const int slot_;
};

RunEngine<ItemDistributions>& ItemEngine();
RunEngine<CoordDistributions>& CoordEngine();
RunEngine<DateDistributions>& DateEngine();
GuardedEngine<BatchDistributions>& BatchEngine();
GuardedEngine<PauseDistributions>& PauseEngine();

// Restarts all five engines from `seed` (not exported; for tests).
void SeedAllEngines(Mt19937::result_type seed);

}  // namespace tavisor
