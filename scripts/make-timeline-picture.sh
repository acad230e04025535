#!/usr/bin/env bash
# Makes the README's timeline picture from a real run: tavisor-demo's
# interactive mode starts one producer of each variant, lets them run for
# SECONDS (default 60), stops them and writes the recorded hand-over.
#   bash scripts/make-timeline-picture.sh [SECONDS] [FILE]
# FILE defaults to docs/timeline.svg; .json and .html work as well.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
file=${2:-docs/timeline.svg}
build=${TAVISOR_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tavisor-demo >/dev/null
mkdir -p "$(dirname "$file")"
# The records themselves are not wanted here, only the lines about the run.
{
  echo "start A B C D E"
  sleep "$seconds"
  echo "stop"
  echo "quit"
} | "$build/tavisor-demo" --interactive --timeline "$file" |
  grep -E '^(Started|Stopped|All producers|Timeline)' || true
test -s "$file"
