#!/usr/bin/env bash
# Configures, builds and tests one CMake preset (build-<preset>/), prints the
# stress test's figures, and exits with ctest's status.
#   test-preset.sh PRESET
set -euo pipefail
cd "$(dirname "$0")/.."
preset=$1
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
status=0
ctest --preset "$preset" -j"$(bash scripts/test-jobs.sh)" || status=$?
# The stress test's figures, for the record.
grep -h '^stress:' "build-$preset/Testing/Temporary/LastTest.log" || true
exit "$status"
