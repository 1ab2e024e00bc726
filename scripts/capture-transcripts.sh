#!/usr/bin/env bash
# Renews tests/data/transcripts: what the real dfu-util 0.11 prints against the
# simulated device in every scenario of tst_dfusim, standard output and
# standard error merged, byte for byte, with index.txt giving exit codes and
# arguments.
#   scripts/capture-transcripts.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target tst_dfusim
transcripts="$PWD/tests/data/transcripts"
rm -f "$transcripts"/*.txt
cd "$build/tests/bin/tst_dfusim"
RAVLO_CAPTURE_TRANSCRIPTS="$transcripts" QT_QPA_PLATFORM=offscreen ./tst_dfusim
