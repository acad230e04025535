#include "job_array.h"

#include <cstdlib>

namespace generate {

namespace {

constexpr char kSlurmTask[] = "SLURM_ARRAY_TASK_ID";
constexpr char kKubernetesIndex[] = "JOB_COMPLETION_INDEX";

// A whole number from the environment, or why it is not one.
std::variant<std::uint64_t, std::string> Number(const Environment& environment, const char* name,
                                                std::uint64_t fallback) {
  const std::optional<std::string> text = environment(name);
  if (!text) return fallback;
  std::uint64_t value = 0;
  if (const std::string problem = ParseWholeNumber(*text, 0, ~std::uint64_t{0} >> 1, value);
      !problem.empty()) {
    return std::string(name) + ": " + problem;
  }
  return value;
}

}  // namespace

Environment ProcessEnvironment() {
  return [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
}

std::variant<Shard, std::string> ShardOfJobArray(const Environment& environment,
                                                 std::optional<std::uint64_t> parts) {
  // Every lookup below reports the first problem it meets.
  std::string problem;
  const auto number = [&](const char* name, std::uint64_t fallback) {
    auto found = Number(environment, name, fallback);
    if (const auto* why = std::get_if<std::string>(&found); why && problem.empty()) problem = *why;
    const auto* value = std::get_if<std::uint64_t>(&found);
    return value ? *value : 0;
  };
  Shard shard;
  if (environment(kSlurmTask)) {
    const std::uint64_t id = number(kSlurmTask, 0);
    const std::uint64_t min = number("SLURM_ARRAY_TASK_MIN", id);
    const std::uint64_t max = number("SLURM_ARRAY_TASK_MAX", id);
    const std::uint64_t step = number("SLURM_ARRAY_TASK_STEP", 1);
    if (!problem.empty()) return problem;
    if (step == 0 || id < min || id > max || (id - min) % step != 0) {
      return "the Slurm array's task " + std::to_string(id) + " is not one of " +
             std::to_string(min) + "-" + std::to_string(max) + ":" + std::to_string(step);
    }
    const std::uint64_t tasks = (max - min) / step + 1;
    const std::uint64_t count = number("SLURM_ARRAY_TASK_COUNT", tasks);
    if (!problem.empty()) return problem;
    if (count != tasks) {
      return "the Slurm array has " + std::to_string(count) +
             " tasks, not one for each step from its first to its last: give it as "
             "--array=FIRST-LAST or FIRST-LAST:STEP";
    }
    shard = {(id - min) / step + 1, tasks};
    if (parts && *parts != tasks) {
      return "--shard auto/" + std::to_string(*parts) + " in a Slurm array of " +
             std::to_string(tasks) + " tasks";
    }
  } else if (environment(kKubernetesIndex)) {
    const std::uint64_t index = number(kKubernetesIndex, 0);
    if (!problem.empty()) return problem;
    if (!parts) {
      return std::string(kKubernetesIndex) +
             " is set but the number of parts is not: give it as --shard auto/N (N: the "
             "Indexed Job's completions)";
    }
    if (index >= *parts) {
      return std::string(kKubernetesIndex) + " " + std::to_string(index) +
             " is not below the parts' number " + std::to_string(*parts);
    }
    shard = {index + 1, *parts};
  } else {
    return std::string("--shard auto: not in a job array (neither ") + kSlurmTask + " nor " +
           kKubernetesIndex + " is set): give the part as --shard I/N";
  }
  return shard;
}

std::string ShardFileName(const std::string& name, const Shard& shard) {
  static constexpr std::string_view kField = "{shard}";
  std::string number = std::to_string(shard.index);
  number.insert(0, std::to_string(shard.parts).size() - number.size(), '0');
  std::string result;
  std::size_t from = 0;
  for (std::size_t at; (at = name.find(kField, from)) != std::string::npos;
       from = at + kField.size()) {
    result.append(name, from, at - from).append(number);
  }
  return result.append(name, from);
}

}  // namespace generate
