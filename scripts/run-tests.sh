#!/usr/bin/env bash
# Configures, builds and runs the whole test suite.
#   scripts/run-tests.sh [build-dir] [extra cmake arguments...]
# e.g. scripts/run-tests.sh build-asan -DRAVLO_SANITIZE=ON
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
jobs=$(nproc)
cmake -S . -B "$build" "$@"
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs"
