#!/usr/bin/env bash
# Runs a Windows program under Wine, non-interactively, in a Wine prefix of
# its own that is created on first use:
#   wine-run.sh PREFIX_DIR PROGRAM.exe [ARGS...]
#   wine-run.sh PREFIX_DIR                    (only creates the prefix)
# CMake uses it as the emulator of the MinGW build (gtest_discover_tests,
# ctest). The exit status is the program's.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko install prompts; no windows (there may be no display).
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
export HOME=${HOME:-/root}

ready=$prefix/.tavisor-prefix-ready
if [[ ! -e $ready ]]; then
  mkdir -p "$(dirname "$prefix")"
  # Several tests may start at once on a fresh prefix: one creates it, the
  # others wait for it.
  (
    flock 9
    if [[ ! -e $ready ]]; then
      wine wineboot -i >/dev/null 2>&1
      wineserver -w
      touch "$ready"
    fi
  ) 9>"$prefix.lock"
fi
if (($# == 0)); then
  exit 0
fi
# Under load, Wine has been seen to end a test program before it printed a
# byte: a non-zero status and no output at all. A test program prints on
# standard output before anything else it does, so such a run never reached
# it; it runs once more, and says so, with the status it got. A run that
# printed anything keeps its status, and a second silent failure stands.
# Only standard output is watched: the services a program starts (wineboot's)
# keep its standard error open, and a tee on it would wait for them to end.
# So a program that fails with words on standard error alone also runs twice;
# the second run's output and status are what the caller gets.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
  status=0
  wine "$@" | tee "$out" || status=${PIPESTATUS[0]}
  if ((status == 0)) || [[ -s $out ]] || ((attempt == 2)); then
    exit "$status"
  fi
  echo "wine-run.sh: $1 ended with status $status before printing anything;" \
    "running it once more" >&2
done
