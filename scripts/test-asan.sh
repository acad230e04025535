#!/usr/bin/env bash
# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (CMake preset `asan`, build-asan/): any finding fails its test, and
# LeakSanitizer checks every test program at exit for memory never freed.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan >/dev/null
cmake --build --preset asan
status=0
ctest --preset asan || status=$?
# The stress test's figures, for the record.
grep -h '^stress:' build-asan/Testing/Temporary/LastTest.log || true
exit "$status"
