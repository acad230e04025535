// What one GetItem allocates, counted by the replaced global operator new of
// this binary (the library allocates through it too).
//
// The record layout decides how many allocations a record needs:
//   * two lists of observations are built per record: DataItem holds
//     `observations` and `dllObservations` side by side. GetItem then moves
//     the DataItem's `observations` into the Item (MakeItem of a record
//     about to be destroyed), so no third list is made;
//   * each species string (order, family, name) that does not fit the small
//     string buffer is allocated once, in the DataItem, and moved on;
//   * each municipality name that does not fit it is allocated once per
//     list of observations, that is twice;
//   * the Item itself.
// The benchmark reports the counted figures next to that expectation, and
// the number of allocations of exactly one observation list's size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <variant>

#include "allocation_counter.h"
#include "initialized_library.h"
#include "tavisor/item.h"

namespace tavisor::bench {
namespace {

constexpr std::uint64_t kObservationLists = 2;
constexpr std::uint64_t kSpeciesStringCopies = 1;

bool OnHeap(const std::string& s) { return s.size() > std::string().capacity(); }

std::uint64_t ExpectedAllocations(const Item& item) {
  std::uint64_t long_species = 0;
  for (const std::string* s : {&item.order, &item.family, &item.name}) long_species += OnHeap(*s);
  std::uint64_t long_places = 0;
  for (const Observation& o : item.observations) {
    const auto* place = std::get_if<std::string>(&std::get<Location>(o));
    long_places += place != nullptr && OnHeap(*place);
  }
  return 1 + kSpeciesStringCopies * long_species + kObservationLists * (1 + long_places);
}

void BM_GetItemMemory(benchmark::State& state) {
  const Library& lib = InitializedLibrary();
  std::uint64_t allocations = 0, bytes = 0, kept = 0, expected = 0, lists = 0;
  for (auto _ : state) {
    const AllocationCount before = ThreadAllocations();
    StartAllocationLog();
    Item* pit = lib.GetItem();
    const auto sizes = StopAllocationLog();
    const AllocationCount during = ThreadAllocations() - before;
    allocations += during.allocations;
    bytes += during.bytes;
    kept += during.allocations - during.releases;
    expected += ExpectedAllocations(*pit);
    const std::size_t list_size = pit->observations.size() * sizeof(Observation);
    for (std::size_t size : sizes) lists += size == list_size;
    delete pit;
  }
  if (allocations == 0) {
    state.SkipWithError("the library's allocations are not counted");
    return;
  }
  const auto per_record = [](std::uint64_t total) {
    return benchmark::Counter(static_cast<double>(total), benchmark::Counter::kAvgIterations);
  };
  state.counters["allocs"] = per_record(allocations);
  state.counters["expected_allocs"] = per_record(expected);
  state.counters["bytes"] = per_record(bytes);
  state.counters["kept_allocs"] = per_record(kept);
  state.counters["obs_lists"] = per_record(lists);
}
BENCHMARK(BM_GetItemMemory);

}  // namespace
}  // namespace tavisor::bench
