#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (CMake preset `asan`, build-asan/): any finding fails its test, and
# LeakSanitizer checks every test program at exit for memory never freed.
set -euo pipefail
exec bash "$(dirname "$0")/test-preset.sh" asan
