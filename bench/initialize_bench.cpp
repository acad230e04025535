// Loading the reference lists as Initialize does, into fresh lists each
// iteration (the library's own lists only ever grow). Only the load is
// timed; building and freeing the lists around it is not.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/entry_points.h"
#include "bench_paths.h"
#include "refdata/reference_lists.h"
#include "test_support.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tavisor::bench {
namespace {

constexpr int kGeneratedBirdLines = 1'000'000;

std::vector<std::string> BundledBirdLines() {
  std::ifstream in(std::filesystem::path(kBundledDataDir) / kBirdListFile, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// A bird file of kGeneratedBirdLines lines: the bundled species over and
// over, CRLF like the bundled file, no line break after the last line.
std::string GeneratedBirdFile() {
  const std::vector<std::string> species = BundledBirdLines();
  std::string text;
  for (int i = 0; i < kGeneratedBirdLines; ++i) {
    if (i > 0) text += "\r\n";
    text += species[static_cast<std::size_t>(i) % species.size()];
  }
  return text;
}

// A directory with the generated bird file and the bundled municipality
// list, removed again with everything in it.
struct GeneratedLists : testing::TempDir {
  GeneratedLists() {
    Write(kBirdListFile, GeneratedBirdFile());
    std::filesystem::copy_file(std::filesystem::path(kBundledDataDir) / kMunicipalityListFile,
                               path() / kMunicipalityListFile);
  }
};

void LoadFreshLists(benchmark::State& state, const std::filesystem::path& dir) {
  std::size_t species = 0;
  for (auto _ : state) {
    ReferenceLists lists;
    const auto start = std::chrono::steady_clock::now();
    LoadListsForInitialize(lists, dir);
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    species = lists.birds.size();
  }
  state.counters["species_lines"] = static_cast<double>(species);
}

void BM_InitializeBundled(benchmark::State& state) { LoadFreshLists(state, kBundledDataDir); }
BENCHMARK(BM_InitializeBundled)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_InitializeMillionLines(benchmark::State& state) {
  static const GeneratedLists generated;
  LoadFreshLists(state, generated.path());
}
BENCHMARK(BM_InitializeMillionLines)->UseManualTime()->Unit(benchmark::kMillisecond);

// Bytes of the heap in use, as the C library counts them (large blocks are
// mapped on their own); 0 where it cannot tell.
double HeapInUse() {
#if defined(__GLIBC__)
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd);
#else
  return 0;
#endif
}

// Initialize again and again on the bundled lists, as a client may while
// records are made: every reload appends both lists behind the earlier
// loads. A fixed 300 reloads, since the lists grow with each; reports the
// time of one reload and what it adds to the heap for good.
void BM_Reload(benchmark::State& state) {
  const testing::WorkingDirectory in_data(kBundledDataDir);
  InitializeLibrary();  // the first load publishes what records draw from
  const double heap_before = HeapInUse();
  for (auto _ : state) InitializeLibrary();
  const double reloads = static_cast<double>(state.iterations());
  state.counters["heap_bytes_per_reload"] = (HeapInUse() - heap_before) / reloads;
  ReadLibraryLists([&](const ReferenceLists& lists) {
    state.counters["species_held"] = static_cast<double>(lists.birds.size());
  });
}
BENCHMARK(BM_Reload)->Iterations(300)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavisor::bench
