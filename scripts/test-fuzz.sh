#!/usr/bin/env bash
# CI's short fuzzing run of the list loader: one minute, failing on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/fuzz.sh 60
