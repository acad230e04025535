// The two halves of GetItem, measured apart on the library's internals:
// generating a DataItem, and MakeItem turning one into a heap Item.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdlib>
#include <vector>

#include "bench_paths.h"
#include "items/data_item.h"
#include "refdata/reference_lists.h"

namespace tavisor::bench {
namespace {

const ReferenceLists& BundledLists() {
  static const ReferenceLists lists = [] {
    ReferenceLists loaded;
    if (!LoadReferenceLists(loaded, kBundledDataDir).empty()) std::abort();
    return loaded;
  }();
  return lists;
}

// Generation alone, including the DataItem's destruction.
void BM_GenerateDataItem(benchmark::State& state) {
  const ReferenceLists& lists = BundledLists();
  for (auto _ : state) {
    const DataItem dit(lists);
    benchmark::DoNotOptimize(&dit);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GenerateDataItem);

// MakeItem alone, over a pool of generated records so that the number of
// observations varies as it does in GetItem; the Item is deleted again.
void BM_MakeItem(benchmark::State& state) {
  constexpr std::size_t kPool = 4096;  // a power of two: the index wraps with a mask
  const ReferenceLists& lists = BundledLists();
  std::vector<DataItem> pool;
  pool.reserve(kPool);
  for (std::size_t i = 0; i < kPool; ++i) pool.emplace_back(lists);
  std::size_t i = 0;
  for (auto _ : state) {
    Item* pit = MakeItem(pool[i++ & (kPool - 1)]);
    benchmark::DoNotOptimize(pit);
    delete pit;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MakeItem);

}  // namespace
}  // namespace tavisor::bench
