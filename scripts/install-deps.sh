#!/usr/bin/env bash
# Installs what building and testing Tavisor needs on Debian 12 (run as root).
set -euo pipefail
# dpkg-dev, debhelper, fakeroot, lintian and pkgconf: the Debian packages
# (dpkg-buildpackage on debian/), the test that checks them and builds
# clients against them with pkg-config; abigail-tools (abidiff): the ABI
# check against the stored 1.0 baseline; git: the package tests copy the
# source tree as a clone has it.
packages=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev binutils build-essential dpkg-dev debhelper fakeroot
          lintian pkgconf abigail-tools git
          # tavisor-demo: its command line, JSON output and line editing
          libcli11-dev nlohmann-json3-dev libedit-dev zlib1g-dev python3
          # tavisor-generate's file tests: the order of fsync and rename
          strace
          # tavisor-generate's .gz (libdeflate, zlib where it is missing) and
          # .zst files; zstd (the command) reads them back in the tests
          libdeflate-dev libzstd-dev zstd
          # the hand-over's models (verification/, scripts/test-verify.sh)
          spin
          # tavisor-generate's SQLite databases; sqlite3, python3-jsonschema and
          # python3-yaml read back its databases, schemas and the examples
          libsqlite3-dev sqlite3 python3-jsonschema python3-yaml
          # the one-node Slurm of scripts/test-slurm.sh
          slurm-wlm munge
          # the timeline's pictures: SVG rendered to PNG, the HTML page in a
          # headless browser (tests/timeline)
          librsvg2-bin chromium)
if [[ "${TAVISOR_WITH_WINDOWS:-1}" == 1 ]]; then
  # `wine` (the command) is only recommended by wine64: name it.
  # libz-mingw-w64-dev: zlib for tavisor-demo.exe's .gz files.
  packages+=(g++-mingw-w64-x86-64-posix mingw-w64 wine64 wine libz-mingw-w64-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "dependencies ready"
