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
# ("-": none), the status poll time-out in ms, and either "list" (dfu-util -l)
# or a flash of an image of that many bytes with that -d, as the program runs it.
while read -r name devices fault poll size match; do
    [[ -z $name || $name == \#* ]] && continue
    mkdir "$work/$name"
    if [[ $match == list ]]; then
        arguments=(-l)
    else
        head -c "$size" /dev/zero >"$work/$name/image.bin"
        arguments=(-d "$match" -a 0 -s 0x08000000:force:leave -D image.bin)
    fi
    code=0
    (cd "$work/$name" &&
        env -u RAVLO_DFUSIM_DEVICES_FILE -u RAVLO_DFUSIM_FLASH_DIR LD_LIBRARY_PATH="$lib" \
            RAVLO_DFUSIM_DEVICES="${devices#-}" RAVLO_DFUSIM_FAULT="${fault#-}" \
            RAVLO_DFUSIM_POLL_MS="$poll" timeout 60 "$tool" "${arguments[@]}") \
        >"$transcripts/$name.txt" 2>&1 || code=$?
    echo "$name $code ${arguments[*]}" >>"$transcripts/index.txt"
done <<'EOF'
# name                          devices                          fault           poll image  run
list-none                       -                                -               0    -      list
list-one                        0483:df11                        -               0    -      list
list-two                        0483:df11;0483:df11              -               0    -      list
list-other-identity             1234:5678                        -               0    -      list
list-open-denied                0483:df11                        open-denied     0    -      list
list-open-denied-other-identity 1234:5678                        open-denied     0    -      list
list-with-other-identity        0483:df11;1234:5678              -               0    -      list
flash-ok                        0483:df11                        -               0    150000 0483:df11
flash-paced                     0483:df11                        -               10   150000 0483:df11
flash-whole-chunks              0483:df11                        -               0    6144   0483:df11
flash-whole-sector              0483:df11                        -               0    16384  0483:df11
flash-one-byte                  0483:df11                        -               0    1      0483:df11
flash-empty                     0483:df11                        -               0    0      0483:df11
fault-no-device                 -                                -               0    150000 0483:df11
fault-two-devices               0483:df11;0483:df11              -               0    150000 0483:df11
fault-open-denied               0483:df11                        open-denied     0    150000 0483:df11
fault-block-error               0483:df11                        block-error:40  0    150000 0483:df11
fault-erase-stall               0483:df11                        stall:1         0    150000 0483:df11
fault-block-stall               0483:df11                        stall:8         0    150000 0483:df11
fault-address-stall             0483:df11                        stall:7         0    150000 0483:df11
fault-erase-error               0483:df11                        erase-error:2   0    150000 0483:df11
fault-vanish                    0483:df11                        vanish:40       0    150000 0483:df11
fault-leave-silent              0483:df11                        leave-silent    0    150000 0483:df11
identity-run-time-identity      1234:5678                        -               0    150000 0483:df11
identity-dfu-mode-identity      1234:5678                        -               0    150000 0483:df11,0483:df11
EOF
