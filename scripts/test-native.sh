#!/usr/bin/env bash
# Quick daily run: builds the native library and runs its whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TAVISOR_BUILD_DIR:-build}
# The benchmarks are built too, so that they keep compiling; they are not run.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVISOR_BUILD_BENCHMARKS=ON \
  >/dev/null
cmake --build "$build"
ctest --test-dir "$build" -j"$(bash scripts/test-jobs.sh)" --output-on-failure --timeout 120
