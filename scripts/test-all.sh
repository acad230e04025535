#!/usr/bin/env bash
# The whole test suite: the model checks of the hand-over protocols, the
# native build, tavisor-generate in a one-node Slurm's job array, the same
# with clang++, the sanitizer builds, the fuzzer, then
# the Windows build under Wine. Each stage prints its own summary.
set -euo pipefail
cd "$(dirname "$0")/.."
stages=(verify native slurm clang asan tsan fuzz windows)
for stage in "${stages[@]}"; do
  echo "=== $stage ==="
  started=$SECONDS
  bash "scripts/test-$stage.sh"
  echo "=== $stage: passed in $((SECONDS - started)) s ==="
done
