// Runs of an engine's words: whole blocks of an MT19937 engine, tempered,
// and the source through which a record's distributions draw them in
// order. The library's shared engines hand runs to threads
// (random_engines.h); a seeded record stream keeps one run per engine.
#pragma once

#include <cstdint>

#include "items/mt19937_blocks.h"

namespace tavisor {

// A run of an engine's words not used up yet: whole blocks (twists) of the
// engine. Plain data, zero when a thread starts: the library holds its
// threads' runs in thread-local storage, which then needs no constructor or
// destructor on any platform (see random_engines.cpp).
struct ThreadRun {
  // Four blocks: the engine's state moves to the taking thread's core about
  // once per 50 records, and the lock is held for about a microsecond.
  static constexpr int kBlocks = 4;
  static constexpr int kWords = kBlocks * Mt19937Blocks::kWords;

  std::uint32_t generation;     // of the engine the run came from
  int next;                     // first unused word
  int end;                      // 0 before the first run
  std::uint32_t words[kWords];  // tempered
};

// Fills `run` with the next ThreadRun::kBlocks blocks of `engine`, not yet
// tempered, and TemperRun makes them ready to draw: split, so that a
// shared engine twists under its lock and the taking thread tempers
// outside it.
void TwistRun(Mt19937Blocks& engine, ThreadRun& run);
void TemperRun(ThreadRun& run);

// The engine's words as a uniform random bit generator: the words of the
// run in order, and the next run taken from `Engine` (its TakeRun) whenever
// it is used up. A distribution may use any number of words for one value
// (it rejects and draws again), so this must yield exactly the engine's
// words, in order, with the range and word type of Mt19937.
template <class Engine>
class RunSource {
 public:
  using result_type = Mt19937::result_type;
  static constexpr result_type min() { return Mt19937::min(); }
  static constexpr result_type max() { return Mt19937::max(); }

  // The position in the run is held here while the body draws, and written
  // back when the source goes: kept in the run itself, it would be loaded
  // and stored again at every draw, since the compiler must assume that the
  // body's stores may change it.
  RunSource(Engine& engine, ThreadRun& run)
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
  Engine& engine_;
  ThreadRun& run_;
  int next_;
  int end_;
};

}  // namespace tavisor
