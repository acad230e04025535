#!/usr/bin/env bash
# Fuzzes the reference list loader for a fixed time: scripts/fuzz.sh [seconds]
# (default 60). Builds the libFuzzer target with Clang in its own build
# directory, starts from the seed corpus in tests/fuzz/corpus and fails on
# any crash, sanitizer finding, leak, time-out or memory blow-up; the input
# that caused it is left in <build>/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${TAVISOR_FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVISOR_BUILD_FUZZERS=ON -DTAVISOR_BUILD_TESTS=OFF -DTAVISOR_BUILD_APPS=OFF >/dev/null
cmake --build "$build" --target reference_lists_fuzzer
# New inputs go to a working corpus in the build directory; the seeds in the
# repository stay as they are.
mkdir -p "$build/fuzz-corpus" "$build/artifacts"
log="$build/fuzz.log"
status=0
# Inputs up to 2 KiB: each costs about the number of its lines, and short
# reads (a flag of the input) put the ends of the loader's read blocks
# anywhere, so small inputs cover lines that span two blocks; behind lists
# that already hold the minimums (another flag) they reach every step of a
# load. Longer seeds are cut to that length.
"$build/tests/fuzz/reference_lists_fuzzer" "$build/fuzz-corpus" tests/fuzz/corpus \
  -max_total_time="$seconds" -max_len=2048 -timeout=10 -rss_limit_mb=1024 \
  -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
  >"$log" 2>&1 || status=$?
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|stat::number_of_executed_units|stat::peak_rss_mb' "$log" || true
if ((status != 0)); then
  tail -n 60 "$log"
  echo "fuzz: FAILED (exit $status), see $log and $build/artifacts/" >&2
  exit "$status"
fi
echo "fuzz: no findings in ${seconds} s"
