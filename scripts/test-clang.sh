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
# Line tables only (-g1): stack traces need no more, and full debug
# information is a quarter of the compile time.
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DTAVISOR_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build"
echo "clang: built after $((SECONDS - started)) s"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 120
echo "clang: done after $((SECONDS - started)) s"
