#!/usr/bin/env bash
# The whole upgrade on this computer, without a device: builds the demo build
# (build-demo/) if needed, starts its bucket on 127.0.0.1 with a sample
# release, and starts the window with one simulated Ravlo device in DFU mode.
#
#   scripts/demo.sh [--fault NAME] [--cli]
#
#   --fault no-device       no device attached
#   --fault permission      the device may not be opened
#   --fault block           a block of the image fails to program
#   --fault vanish          the device is gone in the middle of the write
#   --fault keeps-nothing   the device acknowledges every block and keeps none
#   --fault read-protected  the device refuses to be read back
#   --fault two-devices     two Ravlo devices attached
#   --fault tampered        the manifest was changed after it was signed
#   --fault replayed        an older signed manifest after a newer one was seen
#   --fault expired         the manifest's signature has expired
#   --fault dropped         the image's connection ends at half; the download resumes
#   --cli                   runs "ravlo-flash upgrade" instead of the window
#
# The bucket signs its manifest with the demo key (sim/demo), which only demo
# builds trust. Closing the window (or Ctrl-C) ends everything the script
# started and removes its temporary folder, the program's settings with it.
set -euo pipefail
cd "$(dirname "$0")/.."
build='build-demo'

usage() {
    sed -n '5,19p' "$0" | cut -c3- >&2
    exit 2
}

fault=
cli=
while [ $# -gt 0 ]; do
    case $1 in
    --fault) [ $# -ge 2 ] || usage; fault=$2; shift 2 ;;
    --cli) cli=1; shift ;;
    *) usage ;;
    esac
done

devices=0483:df11
simulated_fault=
bucket_fault=()
case $fault in
'') ;;
tampered | replayed | expired | dropped) bucket_fault=(--fault "$fault") ;;
no-device) devices= ;;
permission) simulated_fault=open-denied ;;
block) simulated_fault=block-error:40 ;;
vanish) simulated_fault=vanish:40 ;;
keeps-nothing | read-protected) simulated_fault=$fault ;;
two-devices) devices='0483:df11;0483:df11' ;;
*) echo "demo.sh: unknown fault \"$fault\"" >&2; usage ;;
esac

if ! grep -qx 'RAVLO_DEMO:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    cmake -S . -B "$build" -DRAVLO_DEMO=ON -DRAVLO_BUILD_TESTS=OFF
fi
cmake --build "$build" -j"$(nproc)" \
    --target RavloFirmwareDownloader ravlo-flash ravlo_dfusim ravlo-demo-bucket

work=$(mktemp -d "${TMPDIR:-/tmp}/ravlo-demo.XXXXXX")
pids=()

# Whether a process runs (a zombie has ended, whoever reaps it).
running() { ps -o stat= -p "$1" | grep -qv '^Z'; }
# Stops a child of the script and the processes it started (the window's
# dfu-util), and waits until all have ended.
stop() {
    local children pid
    mapfile -t children < <(pgrep -P "$1")
    kill "$1" "${children[@]}" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
    for pid in "${children[@]}"; do
        while running "$pid"; do sleep 0.05; done
    done
}
cleanup() {
    trap - EXIT INT TERM HUP
    for pid in "${pids[@]}"; do stop "$pid"; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# The simulated bus, seen only by the demo build's dfu-util (a wrapper that
# loads the simulator); the image file and the pictures in the temporary folder.
# The settings too (the sequence of the manifests seen): every demo starts
# afresh.
mkdir "$work/flash" "$work/tmp" "$work/cache" "$work/config"
export RAVLO_DFUSIM_DEVICES=$devices RAVLO_DFUSIM_FAULT=$simulated_fault \
    RAVLO_DFUSIM_POLL_MS=15 RAVLO_DFUSIM_FLASH_DIR=$work/flash \
    TMPDIR=$work/tmp XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config
unset RAVLO_DFUSIM_DEVICES_FILE RAVLO_DFUSIM_LOG

mkfifo "$work/bucket.out"
"$build/demo/ravlo-demo-bucket" "${bucket_fault[@]}" >"$work/bucket.out" &
pids+=($!)
if ! read -r -t 10 bucket <"$work/bucket.out"; then
    echo "demo.sh: the demo bucket did not start; if its port is taken, another one:" \
        "cmake -B $build -DRAVLO_DEMO_PORT=<port>" >&2
    exit 1
fi
echo "demo.sh: the bucket is at $bucket; the device is simulated${fault:+ ($fault)}"
if [ "$fault" = replayed ]; then
    echo "demo.sh: first the program sees the newer update information:"
    "$build/ravlo-flash" info
    echo "demo.sh: now the bucket serves an older one, signed before it"
fi

if [ -n "$cli" ]; then
    status=0
    "$build/ravlo-flash" upgrade || status=$?
    exit "$status"
fi
echo "demo.sh: press Upgrade in the window; closing it ends the demo"
"$build/RavloFirmwareDownloader" &
pids+=($!)
status=0
wait "${pids[-1]}" || status=$?
exit "$status"
