#!/usr/bin/env bash
# The Windows build: Tavisor.dll and the test programs cross-built with
# MinGW-w64 (POSIX threads) and the test suite run under Wine, without a
# display or a terminal, in a Wine prefix of its own inside the build
# directory (build-mingw/wine-prefix; delete it for a fresh one).
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in x86_64-w64-mingw32-g++-posix wine wineserver; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing: run scripts/install-deps.sh" >&2
    exit 1
  fi
done

build=build-mingw  # the binary directory of the mingw preset
prefix=$PWD/$build/wine-prefix
export WINEPREFIX=$prefix WINEDEBUG=-all
started=$SECONDS
elapsed() { echo "$1 after $((SECONDS - started)) s"; }

scripts/wine-run.sh "$prefix"
elapsed "Wine prefix ready"
# One Wine server and its services for the whole run: no test pays for
# starting them.
wineserver -p </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
scripts/wine-run.sh "$prefix" wineboot </dev/null >/dev/null 2>&1

cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$(nproc)"
elapsed "Built"
# The stress test runs in the native and sanitizer stages; it drives B and
# D with blocking waits, which MinGW's libstdc++ can leave unwoken.
ctest --preset mingw -j"$(bash scripts/test-jobs.sh)" -LE stress
elapsed "Windows stage done"
