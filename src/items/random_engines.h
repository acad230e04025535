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
#include "items/mt19937_blocks.h"

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

// A run of an engine's words that one thread has taken and not used up
// yet: whole blocks (twists) of the engine. Plain data, zero when a thread
// starts: it is held in thread-local storage, which then needs no
// constructor or destructor on any platform (see random_engines.cpp).
struct ThreadRun {
  // Four blocks: the engine's state moves to the taking thread's core about
  // once per 50 records, and the lock is held for about a microsecond.
  static constexpr int kBlocks = 4;
  static constexpr int kWords = kBlocks * Mt19937Blocks::kWords;

  std::uint32_t generation;     // of the engine when the run was taken
  int next;                     // first unused word
  int end;                      // 0 before the first run
  std::uint32_t words[kWords];  // tempered
};

// This thread's run of the record engine in `slot` (0 to 2).
ThreadRun& ThisThreadsRun(int slot);

template <class Distributions>
class RunEngine;

// The engine's words as a uniform random bit generator: the words of the
// thread's run in order, and the next run taken whenever it is used up. A
// distribution may use any number of words for one value (it rejects and
// draws again), so this must yield exactly the engine's words, in order,
// with the range and word type of Mt19937.
template <class Distributions>
class RunSource {
 public:
  using result_type = Mt19937::result_type;
  static constexpr result_type min() { return Mt19937::min(); }
  static constexpr result_type max() { return Mt19937::max(); }

  // The position in the run is held here while the body draws, and written
  // back when the source goes: kept in the run itself, it was loaded and
  // stored again at every draw, since the compiler must assume that the
  // body's stores may change it.
  RunSource(RunEngine<Distributions>& engine, ThreadRun& run)
      : engine_(engine), run_(run), next_(run.next), end_(run.end) {}
  ~RunSource() { run_.next = next_; }
  RunSource(const RunSource&) = delete;
  RunSource& operator=(const RunSource&) = delete;

  result_type operator()() {
    if (next_ == end_) {
      engine_.TakeRun(run_);
      next_ = run_.next;
      end_ = run_.end;
    }
    return run_.words[next_++];
  }

 private:
  RunEngine<Distributions>& engine_;
  ThreadRun& run_;
  int next_;
  int end_;
};

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
    RunSource<Distributions> source(*this, run);
    return body(source, distributions);
  }

 private:
  friend class RunSource<Distributions>;

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

RunEngine<ItemDistributions>& ItemEngine();
RunEngine<CoordDistributions>& CoordEngine();
RunEngine<DateDistributions>& DateEngine();
GuardedEngine<BatchDistributions>& BatchEngine();
GuardedEngine<PauseDistributions>& PauseEngine();

// Restarts all five engines from `seed` (not exported; for tests).
void SeedAllEngines(Mt19937::result_type seed);

}  // namespace tavisor
