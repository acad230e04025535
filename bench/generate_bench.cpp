// tavisor-generate: a million seeded records made and written in
// each form, on 1 and 2 threads, through the program's own code. The
// records go to /dev/null, so that what is measured is making and writing
// the records, not the page cache; BM_GenerateToFile writes a file,
// BM_GenerateCompressed a .zst or .gz file and BM_GenerateToDatabase a
// SQLite database.
//
// Counters: items_per_second (records/s), bytes_per_second, and peak_rss_mb,
// the most memory the process has held so far (it only grows, so each
// figure bounds the runs before it too).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include "generate.h"
#include "generate_options.h"
#include "output.h"
#include "tavisor/record_stream.h"
#include "test_support.h"

namespace generate {
namespace {

constexpr std::uint64_t kRecords = 1'000'000;

double PeakRssMegabytes() {
#if defined(_WIN32)
  return 0;
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
#endif
}

void RunGenerate(benchmark::State& state, Format format, const std::string& output) {
  const tavisor::RecordStream stream(20251209, TAVISOR_DATA_DIR);
  GenerateOptions options;
  options.count = kRecords;
  options.format = format;
  options.outputs = {output};
  options.threads = static_cast<unsigned>(state.range(0));
  options.quiet = true;
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    std::ostringstream said;
    console::Output messages(false, said);
    const int status = Generate(options, std::filesystem::current_path(), {0, kRecords},
                                StreamRecordMakers(stream), messages);
    std::smatch found;
    const std::string text = said.str();
    if (status != 0 || !std::regex_search(text, found, std::regex(R"(: (\d+) bytes to)"))) {
      state.SkipWithError(("generate failed: " + text).c_str());
      return;
    }
    bytes += std::stoull(found[1]);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRecords));
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["peak_rss_mb"] = PeakRssMegabytes();
}

// Every case: one whole run (a million records) with 1 and with 2 threads,
// timed by the wall clock.
void OneRunWithOneAndTwoThreads(benchmark::internal::Benchmark* b) {
  b->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}

void BM_Generate(benchmark::State& state, Format format) {
  RunGenerate(state, format, "/dev/null");
}
BENCHMARK_CAPTURE(BM_Generate, jsonl, Format::kJsonLines)->Apply(OneRunWithOneAndTwoThreads);
BENCHMARK_CAPTURE(BM_Generate, csv, Format::kCsv)->Apply(OneRunWithOneAndTwoThreads);
BENCHMARK_CAPTURE(BM_Generate, text, Format::kText)->Apply(OneRunWithOneAndTwoThreads);

void BM_GenerateToFile(benchmark::State& state) {
  const tavisor::testing::TempDir dir;
  RunGenerate(state, Format::kJsonLines, (dir.path() / "birds.jsonl").string());
}
BENCHMARK(BM_GenerateToFile)->Apply(OneRunWithOneAndTwoThreads);

// A SQLite database: the rows bound and inserted by the writer, in one
// transaction, onto the disk (a database cannot go to /dev/null).
void BM_GenerateToDatabase(benchmark::State& state) {
  const tavisor::testing::TempDir dir;
  RunGenerate(state, Format::kSqlite, (dir.path() / "birds.sqlite").string());
}
BENCHMARK(BM_GenerateToDatabase)->Apply(OneRunWithOneAndTwoThreads);

// JSON Lines compressed at the standard level, to a file in the temporary
// directory: the compression is the cost, in the threads that make the
// records.
void BM_GenerateCompressed(benchmark::State& state, const char* extension) {
  const tavisor::testing::TempDir dir;
  RunGenerate(state, Format::kJsonLines, (dir.path() / "birds.jsonl").string() + extension);
}
BENCHMARK_CAPTURE(BM_GenerateCompressed, zst, ".zst")->Apply(OneRunWithOneAndTwoThreads);
BENCHMARK_CAPTURE(BM_GenerateCompressed, gz, ".gz")->Apply(OneRunWithOneAndTwoThreads);

}  // namespace
}  // namespace generate
