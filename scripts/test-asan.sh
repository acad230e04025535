#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (CMake preset `asan`, build-asan/): any finding fails its test, and
# LeakSanitizer checks every test program at exit for memory never freed.
# The preset compiles at -O1 with line tables only (-g1): the level ASan is
# meant for, stacks still name functions and lines, and half the compile
# time of -O2 -g.
set -euo pipefail
exec bash "$(dirname "$0")/test-preset.sh" asan
