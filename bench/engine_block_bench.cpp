// The part of a record engine that threads take turns at: the twist that
// yields the engine's next block of 624 words, copied out to the thread.
// Everything else of a record is done by each thread on its own, so this
// time per block, spread over the words a record uses, bounds how many
// threads can make records at once (see bench/README.md).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "items/mt19937_blocks.h"

namespace tavisor::bench {
namespace {

void BM_EngineBlock(benchmark::State& state) {
  Mt19937Blocks engine(5489);
  std::uint32_t block[Mt19937Blocks::kWords];
  for (auto _ : state) {
    engine.TwistInto(block);
    benchmark::DoNotOptimize(block);
  }
  state.SetItemsProcessed(state.iterations() * Mt19937Blocks::kWords);
}
BENCHMARK(BM_EngineBlock);

}  // namespace
}  // namespace tavisor::bench
