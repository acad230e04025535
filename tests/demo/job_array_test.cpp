// The part of a run that a job array's environment names, and the part's
// number in file names: the arithmetic the process tests meet only for a
// few arrays.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <variant>

#include "job_array.h"

namespace generate {
namespace {

Environment Of(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const char* name) -> std::optional<std::string> {
    const auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
  };
}

struct ArrayCase {
  std::map<std::string, std::string> environment;
  std::optional<std::uint64_t> parts;  // auto/N
  std::uint64_t index = 0;             // 0: refused
  std::uint64_t count = 0;
  std::string problem;  // part of the refusal
};

TEST(JobArray, PartFromTheEnvironment) {
  const ArrayCase cases[] = {
      {{{"SLURM_ARRAY_TASK_ID", "0"}, {"SLURM_ARRAY_TASK_MIN", "0"}, {"SLURM_ARRAY_TASK_MAX", "3"}},
       {},
       1,
       4,
       ""},
      {{{"SLURM_ARRAY_TASK_ID", "3"}, {"SLURM_ARRAY_TASK_MIN", "0"}, {"SLURM_ARRAY_TASK_MAX", "3"}},
       4,
       4,
       4,
       ""},
      {{{"SLURM_ARRAY_TASK_ID", "7"},
        {"SLURM_ARRAY_TASK_MIN", "1"},
        {"SLURM_ARRAY_TASK_MAX", "9"},
        {"SLURM_ARRAY_TASK_STEP", "2"},
        {"SLURM_ARRAY_TASK_COUNT", "5"}},
       {},
       4,
       5,
       ""},
      // A lone task of an array of one.
      {{{"SLURM_ARRAY_TASK_ID", "5"}}, {}, 1, 1, ""},
      {{{"SLURM_ARRAY_TASK_ID", "8"},
        {"SLURM_ARRAY_TASK_MIN", "1"},
        {"SLURM_ARRAY_TASK_MAX", "9"},
        {"SLURM_ARRAY_TASK_STEP", "2"}},
       {},
       0,
       0,
       "is not one of 1-9:2"},
      {{{"SLURM_ARRAY_TASK_ID", "12"},
        {"SLURM_ARRAY_TASK_MIN", "1"},
        {"SLURM_ARRAY_TASK_MAX", "9"}},
       {},
       0,
       0,
       "is not one of"},
      {{{"SLURM_ARRAY_TASK_ID", "1"}, {"SLURM_ARRAY_TASK_MAX", "-3"}},
       {},
       0,
       0,
       "SLURM_ARRAY_TASK_MAX"},
      // Slurm wins over a stray Kubernetes index.
      {{{"SLURM_ARRAY_TASK_ID", "2"},
        {"SLURM_ARRAY_TASK_MIN", "1"},
        {"SLURM_ARRAY_TASK_MAX", "2"},
        {"JOB_COMPLETION_INDEX", "0"}},
       {},
       2,
       2,
       ""},
      {{{"JOB_COMPLETION_INDEX", "0"}}, 3, 1, 3, ""},
      {{{"JOB_COMPLETION_INDEX", "2"}}, 3, 3, 3, ""},
      {{{"JOB_COMPLETION_INDEX", "-1"}}, 3, 0, 0, "JOB_COMPLETION_INDEX"},
      {{}, 3, 0, 0, "not in a job array"},
  };
  for (const ArrayCase& c : cases) {
    const auto found = ShardOfJobArray(Of(c.environment), c.parts);
    const std::string shown = std::to_string(c.index) + "/" + std::to_string(c.count);
    if (c.index == 0) {
      ASSERT_TRUE(std::holds_alternative<std::string>(found)) << c.problem;
      EXPECT_NE(std::get<std::string>(found).find(c.problem), std::string::npos)
          << std::get<std::string>(found);
    } else {
      ASSERT_TRUE(std::holds_alternative<Shard>(found))
          << shown << ": " << std::get<std::string>(found);
      EXPECT_EQ(std::get<Shard>(found).index, c.index) << shown;
      EXPECT_EQ(std::get<Shard>(found).parts, c.count) << shown;
    }
  }
}

TEST(JobArray, PartNumberInFileNames) {
  const struct {
    const char* name;
    Shard shard;
    const char* expected;
  } cases[] = {
      {"part-{shard}.jsonl", {3, 4}, "part-3.jsonl"},
      {"part-{shard}.jsonl", {7, 12}, "part-07.jsonl"},
      {"part-{shard}.jsonl", {12, 12}, "part-12.jsonl"},
      {"p{shard}/{shard}.csv", {5, 1000}, "p0005/0005.csv"},
      {"{shard}", {1, 1}, "1"},
      {"birds.jsonl", {2, 4}, "birds.jsonl"},
      {"{shard", {2, 4}, "{shard"},
      {"{SHARD}{shard}}", {2, 4}, "{SHARD}2}"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShardFileName(c.name, c.shard), c.expected) << c.name;
}

}  // namespace
}  // namespace generate
