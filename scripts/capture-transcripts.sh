#!/usr/bin/env bash
# Renews tests/data/transcripts: what the real dfu-util 0.11 prints against the
# simulated DfuSe bus (sim/dfusim) in each scenario of the table below,
# standard output and standard error merged, byte for byte, with index.txt
# giving each one's exit code and arguments.
#   scripts/capture-transcripts.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target ravlo_dfusim
lib=$(cd "$build/sim/dfusim/lib" && pwd)
tool=$(sed -n 's/^DFU_UTIL_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt")
transcripts="$PWD/tests/data/transcripts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$transcripts"/*.txt

# Devices and fault as RAVLO_DFUSIM_DEVICES and RAVLO_DFUSIM_FAULT take them
# ("-": none), the status poll time-out in ms, and the run: "list" (dfu-util
# -l), or a step of a flash of an image of that many bytes into the first
# device as the program runs it: "write", "read" (back) or "leave".
while read -r name devices fault poll run size; do
    [[ -z $name || $name == \#* ]] && continue
    mkdir "$work/$name"
    device=(-d 0483:df11,0483:df11 -p 1-2 -a 0)
    case $run in
    list) arguments=(-l) ;;
    write)
        head -c "$size" /dev/zero >"$work/$name/image.bin"
        arguments=("${device[@]}" -s 0x08000000:force -D image.bin)
        ;;
    read) arguments=("${device[@]}" -s "0x08000000:$size" -U readback.bin) ;;
    leave) arguments=("${device[@]}" -s 0x08000000:leave) ;;
    esac
    code=0
    (cd "$work/$name" &&
        env -u RAVLO_DFUSIM_DEVICES_FILE -u RAVLO_DFUSIM_FLASH_DIR LD_LIBRARY_PATH="$lib" \
            RAVLO_DFUSIM_DEVICES="${devices#-}" RAVLO_DFUSIM_FAULT="${fault#-}" \
            RAVLO_DFUSIM_POLL_MS="$poll" timeout 60 "$tool" "${arguments[@]}") \
        >"$transcripts/$name.txt" 2>&1 || code=$?
    echo "$name $code ${arguments[*]}" >>"$transcripts/index.txt"
done <<'EOF'
# name                          devices              fault              poll run   size
list-none                       -                    -                  0    list  -
list-one                        0483:df11            -                  0    list  -
list-two                        0483:df11;0483:df11  -                  0    list  -
list-other-identity             1234:5678            -                  0    list  -
list-open-denied                0483:df11            open-denied        0    list  -
list-open-denied-other-identity 1234:5678            open-denied        0    list  -
list-with-other-identity        0483:df11;1234:5678  -                  0    list  -
write-ok                        0483:df11            -                  0    write 150000
fault-no-device                 -                    -                  0    write 150000
fault-open-denied               0483:df11            open-denied        0    write 150000
fault-block-stall               0483:df11            stall:8            0    write 150000
fault-block-error               0483:df11            block-error:40     0    write 150000
fault-erase-stall               0483:df11            stall:1            0    write 150000
fault-erase-error               0483:df11            erase-error:2      0    write 150000
fault-vanish                    0483:df11            vanish:40          0    write 150000
read-ok                         0483:df11            -                  0    read  150000
fault-read-protected            0483:df11            read-protected     0    read  150000
fault-read-vanish               0483:df11            vanish-reading:20  0    read  150000
leave-ok                        0483:df11            -                  0    leave -
fault-leave-silent              0483:df11            leave-silent       0    leave -
EOF
