#!/usr/bin/env bash
# Builds the library and its reference client tavisor-demo, then runs the
# client on the bundled reference lists. Arguments go to tavisor-demo, e.g.
#   bash scripts/demo.sh --interactive
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in cmake ninja g++; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing: install the build tools first (as root): bash scripts/install-deps.sh" >&2
    exit 1
  fi
done
build=${TAVISOR_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tavisor-demo
args=("$@")
# The print-out is Windows-1252 bytes; a UTF-8 terminal gets it converted.
if [[ -t 1 ]] && [[ "$(locale charmap 2>/dev/null)" == "UTF-8" ]]; then
  args=(--utf8 "${args[@]}")
fi
exec "$build/tavisor-demo" "${args[@]}"
