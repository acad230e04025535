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
exec wine "$@"
