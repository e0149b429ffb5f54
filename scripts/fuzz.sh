#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time from the seed
# corpus. A crash fails the run and leaves its input in build/fuzz/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-25}

scripts/install-deps.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null

mkdir -p build/fuzz/crashes
# Every target there is a source for, each from its own seeds: the .reg
# exports, or SYSTEM.DAT files and hives written by the test fixture writers.
for source in tests/fuzz/fuzz_*.cpp; do
    target=$(basename "$source" .cpp)
    timeout=10
    case $target in
        fuzz_creg_file) seeds=tests/fuzz/seeds-creg max_len=16384 ;;
        fuzz_regf_hives) seeds=tests/fuzz/seeds-regf max_len=16384 ;;
        # Hook for the image seed writer: until it is there, two small FAT
        # images written here (a bare one and one behind an MBR).
        fuzz_disk_image)
            # Above the image reader's own time limit, which answers a hang.
            seeds=$(mktemp -d) max_len=$((1 << 20)) timeout=30
            printf 'CREG' >"$seeds/SYSTEM.DAT"
            printf '[Paths]\r\nWinDir=C:\\WINDOWS\r\n' >"$seeds/MSDOS.SYS"
            mkfs.fat -C "$seeds/bare.img" 256 >/dev/null
            mmd -i "$seeds/bare.img" ::WINDOWS
            mcopy -i "$seeds/bare.img" "$seeds/MSDOS.SYS" ::
            mcopy -i "$seeds/bare.img" "$seeds/SYSTEM.DAT" ::WINDOWS
            truncate -s 1M "$seeds/mbr.img"
            echo 'start=64, type=1, bootable' | sfdisk -q "$seeds/mbr.img"
            dd if="$seeds/bare.img" of="$seeds/mbr.img" bs=512 seek=64 conv=notrunc status=none
            rm "$seeds/SYSTEM.DAT" "$seeds/MSDOS.SYS" ;;
        *) seeds=tests/fuzz/seeds max_len=8192 ;;
    esac
    corpus=$(mktemp -d)
    log=build/fuzz/$target.log
    if ! build/fuzz/$target -max_total_time="$seconds" -max_len="$max_len" -timeout="$timeout" \
            -artifact_prefix=build/fuzz/crashes/ "$corpus" "$seeds" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "$target: failed, input kept in build/fuzz/crashes" >&2
        exit 1
    fi
    runs=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | tail -n 1)
    echo "$target: $runs(s), corpus $(ls "$corpus" | wc -l) inputs"
    rm -rf "$corpus"
    case $seeds in /tmp/*) rm -rf "$seeds" ;; esac
done
