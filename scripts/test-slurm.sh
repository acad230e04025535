#!/usr/bin/env bash
# tavisor-generate in a real job array: a one-node Slurm on this machine
# (scripts/slurm-one-node.sh) runs examples/slurm/generate-array.sbatch as
# an array of 4 tasks, and the 4 parts, in the order of their names, must
# be the single-process run byte for byte. Uses the native build in build/
# when there is one, otherwise builds tavisor-generate alone.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${TAVISOR_BUILD_DIR:-build}
if [[ ! -x $build/tavisor-generate ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target tavisor-generate
fi
generate=$root/$build/tavisor-generate
work=$(mktemp -d /tmp/tavisor-slurm.XXXXXX)
cleanup() {
  bash "$root/scripts/slurm-one-node.sh" stop "$work/slurm" || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/slurm" "$work/out"
bash scripts/slurm-one-node.sh start "$work/slurm"
export SLURM_CONF=$work/slurm/slurm.conf

count=50000
seed=2512
"$generate" "$count" --seed "$seed" -o "$work/whole.jsonl" -q
# One CPU a task: two tasks at a time on two cores.
job=$(sbatch --parsable --array=1-4 --cpus-per-task=1 --chdir="$work/out" \
  --output="$work/out/task-%a.log" \
  --export="ALL,COUNT=$count,SEED=$seed,OUTPUT=part-{shard}.jsonl,TAVISOR_GENERATE=$generate" \
  examples/slurm/generate-array.sbatch)
echo "job array $job submitted"
for _ in $(seq 600); do
  [[ -z $(squeue -h -j "$job" 2>/dev/null) ]] && break
  sleep 0.2
done
states=$(scontrol -o show job "$job" | grep -o 'JobState=[A-Z_]*' | sort | uniq -c)
echo "tasks: $states"
if [[ $(scontrol -o show job "$job" | grep -c 'JobState=COMPLETED ') != 4 ]]; then
  echo "test-slurm: not all 4 tasks completed" >&2
  tail -n 5 "$work"/out/*.log "$work"/slurm/*.log >&2 || true
  exit 1
fi
parts=("$work"/out/part-*.jsonl)
echo "parts: ${parts[*]##*/}"
[[ ${#parts[@]} == 4 ]] || { echo "test-slurm: ${#parts[@]} parts, not 4" >&2; exit 1; }
if ! cat "${parts[@]}" | cmp - "$work/whole.jsonl"; then
  echo "test-slurm: the parts are not the single-process run" >&2
  exit 1
fi
echo "test-slurm: 4 parts of $count records, the same bytes as one process"
