#!/usr/bin/env bash
# Tavisor's GetItem against the same record made with @faker-js/faker, side
# by side in one run: in each round the GetItem benchmark (1 and 2 threads)
# and the faker peer run one after the other. Prints records/s of both, the
# ratio GetItem / faker, and the 2-thread / 1-thread ratio of GetItem with
# the time this machine took to hand a cache line between its cores in that
# round (the 2-thread figure depends on it, see bench/README.md).
#
# On a shared machine each round first waits (up to QUIET_WAIT seconds,
# default 60) until both cores have been at least 90 % idle for 2 s, and
# prints the idle share it saw and the 1-minute load beside the round.
#
# Usage: bench/compare.sh [build-dir] [rounds]   (defaults: build-bench, 3)
# Needs a Release build with -DTAVISOR_BUILD_BENCHMARKS=ON, node and npm.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
rounds=${2:-3}
bench="$build/bench/tavisor_bench"
source bench/common.sh
require_bench "$bench" "$build"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "records/s cores" of one benchmark's median in a Google Benchmark JSON
# file; cores = CPU time / real time, below the thread count when other
# processes took CPU from the run.
median_rate() {
  node -e '
    const r = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
    const b = r.benchmarks.find((x) => x.run_name === process.argv[2] && x.aggregate_name === "median");
    console.log(Math.round(b.items_per_second), (b.cpu_time / b.real_time).toFixed(2));' "$1" "$2"
}
median_ns() {
  node -e '
    const r = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
    const b = r.benchmarks.find((x) => x.run_name === process.argv[2] && x.aggregate_name === "median");
    console.log(b.real_time.toFixed(0));' "$1" "$2"
}

echo "machine: $(nproc) cores, $(uname -sr); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "round  GetItem rec/s (cores)  2 threads rec/s (cores)  faker rec/s  GetItem/faker  2thr/1thr  hand-off ns  idle% load"
getitem_all=() faker_all=() two_all=() scale_all=() speed_all=()
for round in $(seq 1 "$rounds"); do
  idle=$(await_quiet)
  "$bench" --benchmark_filter='^BM_GetItem/|^BM_CrossCore' --benchmark_repetitions=5 \
           --benchmark_report_aggregates_only=true --benchmark_format=json \
           --benchmark_out="$work/getitem.json" >/dev/null
  read -r one one_cores < <(median_rate "$work/getitem.json" "BM_GetItem/real_time/threads:1")
  read -r two two_cores < <(median_rate "$work/getitem.json" "BM_GetItem/real_time/threads:2")
  handoff=$(median_ns "$work/getitem.json" "BM_CrossCoreHandOff/real_time/threads:2")
  faker=$(node bench/peer/faker_record.mjs --reps 5 --json | tail -n 1 |
          node -e 'console.log(Math.round(JSON.parse(require("fs").readFileSync(0, "utf8")).median))')
  speed=$(ratio "$one" "$faker") scale=$(ratio "$two" "$one")
  printf "%5d  %15s (%s)  %16s (%s)  %11s  %13s  %9s  %11s  %5s %s\n" "$round" "$one" \
         "$one_cores" "$two" "$two_cores" "$faker" "$speed" "$scale" "$handoff" "$idle" \
         "$(cut -d' ' -f1 /proc/loadavg)"
  getitem_all+=("$one") faker_all+=("$faker") two_all+=("$two")
  speed_all+=("$speed") scale_all+=("$scale")
done
sorted() { printf "%s\n" "$@" | sort -g; }
median() { sorted "$@" | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
spread() { echo "$(sorted "$@" | head -n 1) to $(sorted "$@" | tail -n 1)"; }
g=$(median "${getitem_all[@]}") f=$(median "${faker_all[@]}") t=$(median "${two_all[@]}")
echo "median over $rounds rounds: GetItem $g records/s, faker $f records/s, 2 threads $t records/s"
echo "per-round ratios, median (range): GetItem/faker $(median "${speed_all[@]}")" \
     "($(spread "${speed_all[@]}")), 2 threads/1 thread $(median "${scale_all[@]}")" \
     "($(spread "${scale_all[@]}"))"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
