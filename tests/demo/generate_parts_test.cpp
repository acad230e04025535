// The parts of generate that read the command line and compress: one
// file under two names, whole numbers, compression levels.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "compression.h"
#include "console_control.h"
#include "generate_options.h"
#include "output_files.h"
#include "test_support.h"

namespace generate {
namespace {

namespace fs = std::filesystem;
using tavisor::testing::TempDir;

TEST(SameFile, BySystemFileAndByResolvedPath) {
  const TempDir dir;
  const fs::path a = dir.path() / "a.jsonl";
  dir.Write("a.jsonl", "x");
  struct Case {
    std::string first, second;
    bool same;
  };
  std::vector<Case> cases = {
      {a.string(), a.string(), true},
      {a.string(), (dir.path() / "." / "a.jsonl").string(), true},
      {(dir.path() / "new.csv").string(), (dir.path() / "sub" / ".." / "new.csv").string(), true},
      {a.string(), (dir.path() / "b.jsonl").string(), false},
  };
#if !defined(_WIN32)
  fs::create_symlink(a, dir.path() / "link.csv");
  fs::create_symlink("later.jsonl", dir.path() / "dangling.csv");
  cases.push_back({a.string(), (dir.path() / "link.csv").string(), true});
  cases.push_back(
      {(dir.path() / "later.jsonl").string(), (dir.path() / "dangling.csv").string(), true});
#endif
  for (const Case& c : cases) {
    EXPECT_EQ(SameFile(c.first, c.second), c.same) << c.first << " / " << c.second;
    EXPECT_EQ(SameFile(c.second, c.first), c.same) << c.second << " / " << c.first;
  }
}

TEST(WholeNumber, DecimalDigitsOnly) {
  struct Case {
    const char* text;
    std::uint64_t low, high;
    std::string problem;  // empty: accepted
    std::uint64_t value = 0;
  };
  const std::uint64_t most = ~std::uint64_t{0};
  for (const Case& c : {Case{"010", 1, 100, "", 10}, Case{"0", 0, 5, "", 0},
                        Case{"18446744073709551615", 0, most, "", most},
                        Case{"18446744073709551616", 0, most,
                             "18446744073709551616 is not in the range 0 to 18446744073709551615"},
                        Case{"0", 1, 64, "0 is not in the range 1 to 64"},
                        Case{"", 1, 64, "\"\" is not a whole number"},
                        Case{"0x10", 1, 64, "\"0x10\" is not a whole number"},
                        Case{"1e3", 1, 64, "\"1e3\" is not a whole number"},
                        Case{"10k", 1, 64, "\"10k\" is not a whole number"},
                        Case{" 5", 1, 64, "\" 5\" is not a whole number"},
                        Case{"+5", 1, 64, "\"+5\" is not a whole number"},
                        Case{"-5", 1, 64, "\"-5\" is not a whole number"}}) {
    std::uint64_t value = 12345;
    EXPECT_EQ(ParseWholeNumber(c.text, c.low, c.high, value), c.problem) << c.text;
    if (c.problem.empty()) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

// --level: each compressed file's own range, and only with a compressed
// file.
TEST(GenerateOptions, LevelsPerCompression) {
  const Levels gzip = LevelsOf(Compression::kGzip), zstd = LevelsOf(Compression::kZstd);
  if (gzip.high == 0 || zstd.high == 0) GTEST_SKIP() << "built without gzip or zstd";
  struct Case {
    std::vector<std::string> outputs;
    std::optional<int> level;
    std::string problem;  // the start of it; empty: accepted
  };
  const std::vector<Case> cases = {
      {{"a.jsonl.gz"}, std::nullopt, ""},
      {{"a.jsonl.zst"}, std::nullopt, ""},
      {{"a.jsonl.gz"}, gzip.low, ""},
      {{"a.jsonl.gz"}, gzip.high, ""},
      {{"a.jsonl.gz"}, gzip.high + 1, "--level " + std::to_string(gzip.high + 1) + ": .gz files"},
      {{"a.csv.zst"}, zstd.high, ""},
      {{"a.csv.zst"}, zstd.high + 1, "--level " + std::to_string(zstd.high + 1) + ": .zst files"},
      // One level for both: it has to suit each.
      {{"a.csv.zst", "a.jsonl.gz"}, zstd.high, zstd.high > gzip.high ? "--level" : ""},
      {{"a.jsonl", "a.csv.zst"}, 3, ""},
      {{"a.jsonl"}, 3, "--level applies to compressed files (.gz, .zst) only"},
      {{}, 3, "--level applies to compressed files"},  // standard output is never compressed
  };
  for (const Case& c : cases) {
    GenerateOptions options;
    options.count = 10;
    options.outputs = c.outputs;
    options.level = c.level;
    const std::string problem = GenerateOptionsProblem(options);
    if (c.problem.empty()) {
      EXPECT_EQ(problem, "") << c.outputs.size() << " files, level " << c.level.value_or(0);
    } else {
      EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << problem;
    }
  }
}

}  // namespace
}  // namespace generate
