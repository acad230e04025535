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

namespace tavisor::bench {
namespace {

constexpr int kGeneratedBirdLines = 1'000'000;

std::vector<std::string> BundledBirdLines() {
  std::ifstream in(std::filesystem::path(kBundledDataDir) / kEstonianBirdsFile, std::ios::binary);
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
    Write(kEstonianBirdsFile, GeneratedBirdFile());
    std::filesystem::copy_file(std::filesystem::path(kBundledDataDir) / kEstonianCommunitiesFile,
                               path() / kEstonianCommunitiesFile);
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

}  // namespace
}  // namespace tavisor::bench
