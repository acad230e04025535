// Parts of a run spread over a cluster's job array: each task of the
// array writes the part that its place in the array names.
//
//   Slurm (sbatch --array=A-B[:S]): SLURM_ARRAY_TASK_ID, with
//     SLURM_ARRAY_TASK_MIN, SLURM_ARRAY_TASK_MAX, SLURM_ARRAY_TASK_STEP and,
//     from Slurm 17.11 on, SLURM_ARRAY_TASK_COUNT. Task MIN is part 1.
//   Kubernetes (an Indexed Job): JOB_COMPLETION_INDEX, from 0; the job's
//     completions are not in the container's environment, so the count is
//     given: --shard auto/N.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "generate_options.h"

namespace generate {

// Looks up an environment variable: nothing when it is not set.
using Environment = std::function<std::optional<std::string>(const char* name)>;

// The process's own environment.
Environment ProcessEnvironment();

// The part that "auto" (with `parts`: "auto/N") names in the job array of
// `environment`, or why there is none.
std::variant<Shard, std::string> ShardOfJobArray(const Environment& environment,
                                                 std::optional<std::uint64_t> parts);

// `name` with every "{shard}" replaced by the part's number, with zeros in
// front to the width of the number of parts, so that the files sort in the
// run's order: part-{shard}.jsonl is part-07.jsonl for part 7 of 12.
std::string ShardFileName(const std::string& name, const Shard& shard);

}  // namespace generate
