#!/usr/bin/env bash
# tavisor-generate's code beside the faker peer writing the same records as
# JSON Lines, in rounds: each round first waits for a quiet machine
# (QUIET_WAIT seconds at most, default 60), then runs the generate
# benchmark (a million records in each form to /dev/null, 1 and 2 threads,
# and JSON Lines to a file, plain and as .zst and .gz) and the faker peer (200,000 records to
# /dev/null). Prints records/s and MB/s of each, the 2-thread / 1-thread
# ratio, the peak memory, the idle share and the load of each round.
#
# Usage: bench/generate_compare.sh [build-dir] [rounds]   (defaults: build-bench, 3)
# Needs a Release build with -DTAVISOR_BUILD_BENCHMARKS=ON, node and npm.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
rounds=${2:-3}
bench="$build/bench/tavisor_generate_bench"
source bench/common.sh
require_bench "$bench" "$build"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "records/s MB/s peak_MB" of one benchmark in a Google Benchmark JSON file.
figures() {
  node -e '
    const r = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
    const b = r.benchmarks.find((x) => x.name === process.argv[2]);
    console.log(Math.round(b.items_per_second), (b.bytes_per_second / 1e6).toFixed(0),
                b.peak_rss_mb.toFixed(1));' "$1" "$2"
}

echo "machine: $(nproc) cores, $(uname -sr); load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%5s  %-10s %14s %8s %14s %8s %7s %8s\n" round form "1 thr rec/s" "MB/s" "2 thr rec/s" "MB/s" "2/1" "peak MB"
for round in $(seq 1 "$rounds"); do
  idle=$(await_quiet)
  "$bench" --benchmark_format=json --benchmark_out="$work/generate.json" >/dev/null 2>&1
  for form in jsonl csv text file zst gz; do
    case $form in
      file) name=BM_GenerateToFile ;;
      zst | gz) name=BM_GenerateCompressed/$form ;;
      *) name=BM_Generate/$form ;;
    esac
    read -r one one_mb one_peak < <(figures "$work/generate.json" "$name/1/iterations:1/real_time")
    read -r two two_mb two_peak < <(figures "$work/generate.json" "$name/2/iterations:1/real_time")
    printf "%5d  %-10s %14s %8s %14s %8s %7s %8s\n" "$round" "$form" "$one" "$one_mb" "$two" \
           "$two_mb" "$(ratio "$two" "$one")" "$two_peak"
  done
  node bench/peer/faker_jsonl.mjs --records 200000 --reps 3 --json | tail -n 1 |
    node -e 'const f = JSON.parse(require("fs").readFileSync(0, "utf8"));
             console.log(`${process.argv[1]}  faker jsonl ${Math.round(f.records_per_second)} records/s, ${f.mb_per_second.toFixed(0)} MB/s (1 thread, median of 3)`);' \
         "$(printf %5d "$round")"
  echo "       idle before: $idle %, load after: $(cut -d' ' -f1 /proc/loadavg)"
done
