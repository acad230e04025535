#!/usr/bin/env bash
# The second compiler: the native build with clang++ (Debian's clang, the same
# libstdc++ as g++) in build-clang/, every warning an error, and the whole
# test suite run against it.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang++ >/dev/null; then
  echo "clang++ is missing: run scripts/install-deps.sh" >&2
  exit 1
fi
build=${TAVISOR_CLANG_BUILD_DIR:-build-clang}
started=$SECONDS
# The `clang` preset: line tables only (-g1, stack traces need no more, and
# full debug information is a quarter of the compile time), warnings as
# errors. The benchmarks are left to the native stage, which builds them
# with g++: they take no lock of the library's, so clang's thread-safety
# analysis has nothing to check in them, and they cost 35 s of the stage.
cmake --preset clang -B "$build" >/dev/null
cmake --build "$build"
echo "clang: built after $((SECONDS - started)) s"
ctest --test-dir "$build" -j"$(bash scripts/test-jobs.sh)" --output-on-failure --timeout 120
echo "clang: done after $((SECONDS - started)) s"
