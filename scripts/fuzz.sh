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
# The targets keep their scratch files in /dev/shm; what this run made goes
# with it, also when a target fails.
marker=$(mktemp)
trap 'find /dev/shm -maxdepth 1 -name "dorovivi-fuzz-*" -newer "$marker" -exec rm -rf {} +; rm -f "$marker"' EXIT
# Every target there is a source for, each from its own seeds: the .reg
# exports, or SYSTEM.DAT files and hives written by the test fixture writers.
for source in tests/fuzz/fuzz_*.cpp; do
    target=$(basename "$source" .cpp)
    timeout=10 options=
    case $target in
        # libcreg's known leak, suppressed, would be looked for after every input.
        fuzz_creg_file) seeds=tests/fuzz/seeds-creg max_len=16384 options=-detect_leaks=0 ;;
        fuzz_regf_hives) seeds=tests/fuzz/seeds-regf max_len=16384 ;;
        # Room for a value in big data: two segments of 16344 bytes.
        fuzz_regf_cells) seeds=tests/fuzz/seeds-regf max_len=65536 ;;
        # Disk images are written at run time by the native build's seed writer,
        # with the files they lead to in seeds-image-beside (a VHDX is 4 MiB).
        # Every layer closes with its image, and the target fails on a
        # descriptor left open; leaks are looked for once, at the end (after
        # every input, a third as many inputs are run).
        fuzz_disk_image)
            cmake --preset native >/dev/null
            cmake --build --preset native --target write_image_seeds -j"$(nproc)" >/dev/null
            # Above the image reader's own time limit, which answers a hang.
            seeds=build/fuzz/seeds-image max_len=$((4 << 20)) timeout=30 options=-detect_leaks=0
            rm -rf "$seeds" "$seeds-beside"
            build/native/tests/write_image_seeds "$seeds"
            # The NT disks are megabytes of zeros round some hundred KiB: qcow2
            # of 4 KiB clusters keeps what is written (raw disks stay among the 98 seeds).
            for disk in "$seeds"/nt-*.img; do
                qemu-img convert -q -f raw -O qcow2 -o compat=1.1,cluster_size=4096 "$disk" "${disk%.img}.qcow2"
                rm "$disk"
            done ;;
        # Dirty hives and their logs, written at run time by the fixture writer.
        fuzz_hive_replay)
            cmake --preset native >/dev/null
            cmake --build --preset native --target write_replay_seeds -j"$(nproc)" >/dev/null
            seeds=build/fuzz/seeds-replay max_len=65536
            rm -rf "$seeds" && mkdir -p "$seeds"
            build/native/tests/write_replay_seeds "$seeds" ;;
        # VDI headers: qemu-img writes a fixed and a dynamic one; the rest is mutation.
        fuzz_vdi_layer)
            seeds=build/fuzz/seeds-vdi max_len=65536
            rm -rf "$seeds" && mkdir -p "$seeds"
            qemu-img create -q -f vdi "$seeds/dynamic.vdi" 4M
            qemu-img create -q -f vdi -o static=on "$seeds/fixed.vdi" 1M ;;
        # The image child's replies: one whole for the first page, one saying
        # more than was asked (a record's header is 16 bytes: kind 3, error,
        # size, spare).
        fuzz_server_replies)
            seeds=build/fuzz/seeds-replies max_len=140000
            rm -rf "$seeds" && mkdir -p "$seeds"
            { printf '\0\0\1\0\3\0\0\0\0\0\0\0\0\20\0\0\0\0\0\0'; head -c 4096 /dev/zero; } >"$seeds/page"
            printf '\0\0\1\0\3\0\0\0\0\0\0\0\1\20\0\0\0\0\0\0' >"$seeds/more" ;;
        # Machine configurations: the real ones where the shared files are,
        # and a line of each text format; the first byte chooses the snapshot.
        fuzz_machine_config)
            seeds=build/fuzz/seeds-machine max_len=16384
            rm -rf "$seeds" && mkdir -p "$seeds"
            for real in ../shared/real/vmconfig/*/*; do
                [ -f "$real" ] && { printf '\0'; cat "$real"; } >"$seeds/$(basename "$real")"
            done
            printf '\0scsi0:0.present = "TRUE"\nscsi0:0.fileName = "a.vmdk"\n' >"$seeds/a.vmx"
            printf '\4scsi0: d:1/vm-1-disk-0.qcow2\n[snap]\nparent: x\n\0dir: d\n\tpath /p\n' >"$seeds/pve.conf"
            printf '\0[Hard disks]\nhdd_01_fn = a.img\n' >"$seeds/86box.cfg" ;;
        # Dynamic disks: the private header and the database's first 64 KiB of each
        # Windows-made MBR disk, where the shared real files are; libldm's own leak is
        # suppressed, and looked for once, at the end.
        fuzz_ldm_metadata)
            seeds=build/fuzz/seeds-ldm max_len=$((65 << 10)) options=-detect_leaks=0
            rm -rf "$seeds" && mkdir -p "$seeds"
            if [ -f ../shared/real/ldm/ldm-data.tar.xz ]; then
                tar xSJf ../shared/real/ldm/ldm-data.tar.xz -C "$seeds"
                for image in "$seeds"/*-1.img; do
                    { dd if="$image" bs=512 skip=6 count=1 status=none
                      dd if="$image" bs=512 skip=100352 count=128 status=none; } >"${image%.img}.seed"
                done
                rm "$seeds"/*.img
            fi ;;
        # BitLocker metadata: the first copy (4 KiB) of each Windows-made volume,
        # where the shared real files are.
        fuzz_bitlocker_metadata)
            seeds=build/fuzz/seeds-bitlocker max_len=16384
            rm -rf "$seeds" && mkdir -p "$seeds"
            if [ -f ../shared/real/bitlocker/cryptsetup-bitlk-images.tar.xz ]; then
                tar xSJf ../shared/real/bitlocker/cryptsetup-bitlk-images.tar.xz -C "$seeds"
                for image in "$seeds"/bitlk-images/*.img; do
                    # To Go's wrapper keeps the copies' offsets further on.
                    where=176
                    [ "$(dd if="$image" bs=1 skip=3 count=8 status=none)" = MSWIN4.1 ] && where=440
                    at=$(od -An -t u8 -j "$where" -N 8 "$image" | tr -d ' ')
                    dd if="$image" bs=4096 skip=$((at / 4096)) count=1 status=none >"$seeds/$(basename "$image" .img).seed"
                done
                rm -rf "$seeds/bitlk-images"
            fi ;;
        # rp.log files (first byte even) and ScanReg cabinets (odd), the cabinets from gcab.
        fuzz_state_files)
            seeds=build/fuzz/seeds-states max_len=65536
            rm -rf "$seeds" && mkdir -p "$seeds/in"
            { printf '\0\144\0\0\0\12\0\0\0\1\0\0\0\0\0\0\0A\0'; head -c 510 /dev/zero; printf '\0\200\1\2\3\4\5\1'; } >"$seeds/rp.log"
            printf '[windows]\r\n' >"$seeds/in/WIN.INI"
            seq 1 4000 >"$seeds/in/SYSTEM.DAT"
            for zip in "" -z; do
                gcab -c $zip -n "$seeds/in/rb.cab" "$seeds/in/WIN.INI" "$seeds/in/SYSTEM.DAT"
                { printf '\1'; cat "$seeds/in/rb.cab"; } >"$seeds/rb$zip.cab"
            done
            rm -rf "$seeds/in" ;;
        # Shadow copies: the 16 KiB blocks of vsstest.qcow2's VSS structures, each of
        # which names its own place: the boot area, the catalog, and both stores'
        # headers, block lists, range lists and bitmaps.
        fuzz_shadow_catalog)
            seeds=build/fuzz/seeds-vss max_len=$((512 << 10))
            rm -rf "$seeds" && mkdir -p "$seeds"
            if [ -f ../shared/real/vss/vsstest.qcow2 ]; then
                qemu-img convert -O raw ../shared/real/vss/vsstest.qcow2 "$seeds/vsstest.raw"
                for block in 0 0x1b8c 0x1b8d 0x1b8e 0x1b8f 0xc558 0xc559 0xc55a 0xc55b 0x1b90 0x1b91 0x1b92 0x1b94 0x1b95; do
                    dd if="$seeds/vsstest.raw" bs=16k skip=$((block)) count=1 status=none
                done >"$seeds/two-stores"
                head -c $((10 << 14)) "$seeds/two-stores" >"$seeds/one-store-lost"
                rm "$seeds/vsstest.raw"
            fi ;;
        *) seeds=tests/fuzz/seeds max_len=8192 ;;
    esac
    corpus=$(mktemp -d)
    log=build/fuzz/$target.log
    # The corpus is this run's alone: nothing to read back from it (-reload),
    # where each new input was hashed again.
    if ! build/fuzz/$target -max_total_time="$seconds" -max_len="$max_len" -timeout="$timeout" -reload=0 $options \
            -artifact_prefix=build/fuzz/crashes/ "$corpus" "$seeds" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "$target: failed, input kept in build/fuzz/crashes" >&2
        exit 1
    fi
    runs=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | tail -n 1)
    echo "$target: $runs(s), corpus $(ls "$corpus" | wc -l) inputs"
    rm -rf "$corpus"
done
