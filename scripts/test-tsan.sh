#!/usr/bin/env bash
# The whole test suite built with ThreadSanitizer (CMake preset `tsan`,
# build-tsan/): any data race fails its test, and nothing is exempt. The
# starved clients of tests/e2e run here against a race-detecting library,
# for 20 s of new cycles per variant (about 10 each, every other one with a batch out at the stop).
# The preset keeps -O2 but line tables only (-g1): reports need no more, and
# compiling takes a third less time.
set -euo pipefail
cd "$(dirname "$0")/.."
TAVISOR_STARVED_SECONDS=${TAVISOR_STARVED_SECONDS:-20} bash scripts/test-preset.sh tsan
