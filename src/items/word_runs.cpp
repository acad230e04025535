#include "items/word_runs.h"

namespace tavisor {

void TwistRun(Mt19937Blocks& engine, ThreadRun& run) {
  for (int block = 0; block < ThreadRun::kBlocks; ++block) {
    engine.TwistInto(run.words + block * Mt19937Blocks::kWords);
  }
}

void TemperRun(ThreadRun& run) {
  // All in one loop that the compiler does several words at a time, instead
  // of word by word at each draw (bench/README.md).
  for (std::uint32_t& word : run.words) word = Mt19937Blocks::Temper(word);
  run.next = 0;
  run.end = ThreadRun::kWords;
}

}  // namespace tavisor
