#!/usr/bin/env bash
# Quick daily run: builds the native library and runs its whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TAVISOR_BUILD_DIR:-build}
# The benchmarks are built too, so that they keep compiling; they are not run.
# The `native` preset: line tables only, as in every preset (stack traces
# need no more, and full debug information makes the largest test files
# take half as long again to compile; a debugger's build is a Debug one).
cmake --preset native -B "$build" -DTAVISOR_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build"
ctest --test-dir "$build" -j"$(bash scripts/test-jobs.sh)" --output-on-failure --timeout 120
