// Records through the exported functions, as a client makes them: the
// library is loaded by file name and GetItem / GetTestItem are called
// through the resolved pointers. Each record is deleted again by the
// caller, as a client must, so that cost is part of every figure.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "initialized_library.h"
#include "tavisor/item.h"

namespace tavisor::bench {
namespace {

// One thread, or two calling at once: with ->Threads(2) and real time the
// items_per_second counter is the aggregate of both threads.
void BM_GetItem(benchmark::State& state) {
  const Library& lib = InitializedLibrary();
  std::int64_t observations = 0;
  for (auto _ : state) {
    Item* pit = lib.GetItem();
    observations += static_cast<std::int64_t>(pit->observations.size());
    delete pit;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["obs_per_record"] =
      benchmark::Counter(static_cast<double>(observations), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_GetItem)->Threads(1)->Threads(2)->UseRealTime();

// The 17 test records in turn.
void BM_GetTestItem(benchmark::State& state) {
  const Library& lib = InitializedLibrary();
  std::int32_t n = 0;
  for (auto _ : state) {
    Item* pit = lib.GetTestItem(n);
    benchmark::DoNotOptimize(pit);
    delete pit;
    n = n == 16 ? 0 : n + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetTestItem);

}  // namespace
}  // namespace tavisor::bench
