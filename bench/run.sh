#!/usr/bin/env bash
# Measures dorovivi against the floor and the tools a user would reach for
# instead, and prints a Markdown table: each figure the median of several runs,
# all measured side by side in this one run.
#
#   bash bench/run.sh            # sizes 1, 10, 100 and 1000 MB, 5 runs each
#   BENCH_SIZES="1" BENCH_RUNS=1 BENCH_WINE=0 BENCH_HIVE_MB=1 bash bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=${BENCH_SIZES:-"1 10 100 1000"}
runs=${BENCH_RUNS:-5}
use_wine=${BENCH_WINE:-1}
hive_mb=${BENCH_HIVE_MB:-45}

scripts/install-deps.sh time
cmake --preset native >/dev/null
cmake --build --preset native --target dorovivi -j"$(nproc)" >/dev/null
work=build/bench
mkdir -p "$work"
g++ -O2 -o "$work/generate_hklm" bench/generate_hklm.cpp
g++ -O2 -std=c++17 -Isrc -Itests/fixtures -o "$work/generate_nt_hive" bench/generate_nt_hive.cpp \
    tests/fixtures/regf_writer.cpp $(pkg-config --cflags --libs hivex)
g++ -O2 -std=c++17 -Isrc -o "$work/generate_dirty_hive" bench/generate_dirty_hive.cpp tests/fixtures/hive_log_writer.cpp \
    tests/fixtures/hive_log_format.cpp $(pkg-config --cflags --libs hivex)
g++ -O2 -std=c++17 -o "$work/ntfs_populate" tests/fixtures/ntfs_populate.cpp $(pkg-config --cflags --libs libntfs-3g)
g++ -O2 -std=c++17 -DDOROVIVI_NTFS_POPULATE="\"$PWD/$work/ntfs_populate\"" -o "$work/generate_nt_image" \
    bench/generate_nt_image.cpp tests/fixtures/disk_image_writer.cpp tests/fixtures/file_system_writer.cpp \
    tests/fixtures/host_tool.cpp
gcc -O2 -o "$work/hivex_one_value" bench/hivex_one_value.c $(pkg-config --cflags --libs hivex)
printf '#include <stdio.h>\nint main(void) { puts("one line"); return 0; }\n' > "$work/one_line.c"
gcc -O2 -o "$work/one_line" "$work/one_line.c"

# Runs the commands given (each one string) round-robin, `runs` times each,
# so that a change of load on the machine hits them all alike; prints each
# one's median wall time (ms) and median peak resident memory (KB).
measure() {
    local n=$# i r start end
    local -a cmds=("$@")
    for ((i = 0; i < n; i++)); do : >"$work/wall.$i"; : >"$work/mem.$i"; done
    for ((r = 0; r < runs; r++)); do
        for ((i = 0; i < n; i++)); do
            start=$EPOCHREALTIME
            # Not /dev/null: grep stops at the first match when it sees it writes there.
            eval "/usr/bin/time -f %M -o \"$work/mem\" ${cmds[$i]}" >"$work/out" 2>&1 || true
            end=$EPOCHREALTIME
            awk -v s="$start" -v e="$end" 'BEGIN {print (e - s) * 1000}' >>"$work/wall.$i"
            tail -n 1 "$work/mem" >>"$work/mem.$i"
        done
    done
    for ((i = 0; i < n; i++)); do
        echo "$(median "$work/wall.$i" %.1f) $(median "$work/mem.$i" %d)"
    done
}
# Measures `cmd` against its floor and prints both rows, the ratio and then
# `words` on the first.
against() { # cmd floor what input words floor_what floor_input
    local wall mem fwall fmem got
    mapfile -t got < <(measure "$1" "$2")
    read -r wall mem <<<"${got[0]}"
    read -r fwall fmem <<<"${got[1]}"
    row "$3" "$4" "$wall" "$mem" "$(ratio "$wall" "$fwall")$5"
    row "$6" "$7" "$fwall" "$fmem" ""
}
# A row that times an error path would mislead: H with these variables must print no line.
answers_quietly() { # rows, then NAME=value ...
    local rows=$1 errors
    shift
    errors=$(env "$@" build/native/dorovivi H 2>&1 >/dev/null || true)
    [ -z "$errors" ] || echo "bench: $rows time a failure: $errors" >&2
}
median() { sort -g "$1" | awk -v f="$2" '{a[NR]=$1} END {printf f "\n", a[int((NR+1)/2)]}'; }

mb() { awk -v n="$1" -v d="$2" 'BEGIN {printf "%.1f", n / d}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2fx", a / b}'; }
row() { printf '| %s | %s | %s ms | %s MB | %s |\n' "$1" "$2" "$3" "$(mb "$4" 1024)" "$5"; }

echo "Load before: $(uptime | sed 's/.*load average/load average/')"
echo
echo "| what | input | wall (median of $runs) | peak RSS | against the floor |"
echo "|---|---|---|---|---|"
for size in $sizes; do
    forms="4 5 deep"
    [ "$size" -ge 1000 ] && forms=4  # the large row only shows how the cost grows
    for form in $forms; do
        root=$(mktemp -d)
        "$work/generate_hklm" "$size" "$form" "$root/HKLM.reg"
        file="$root/HKLM.reg"
        bytes=$(stat -c %s "$file")
        case $form in
            4) label="$size MB, REGEDIT4" ;;
            5) label="$size MB, v5 UTF-16" ;;
            *) label="$size MB, deep keys" ;;
        esac
        cmds=("env DOROVIVI_ROOT=$root build/native/dorovivi H" "env DOROVIVI_ROOT=$root build/native/dorovivi @"
              "grep -c '^\\[' $file")
        # Converting is part of any reading of a UTF-16 file; the floor then
        # is the conversion and the pass.
        [ "$form" = 5 ] && cmds+=("bash -c \"iconv -f UTF-16LE -t UTF-8 $file | grep -c '^\\['\"")
        mapfile -t got < <(measure "${cmds[@]}")
        read -r gwall gmem <<<"${got[2]}"
        floor=$gwall
        if [ "$form" = 5 ]; then read -r floor fmem <<<"${got[3]}"; fi
        read -r wall mem <<<"${got[0]}"
        row "dorovivi H (NT, nothing matches)" "$label" "$wall" "$mem" "$(ratio "$wall" "$floor"), RSS $(ratio "$mem" "$((bytes / 1024))") of the file"
        read -r wall mem <<<"${got[1]}"
        row "dorovivi @" "$label" "$wall" "$mem" "$(ratio "$wall" "$floor")"
        row "grep -c '^\\[' (one pass$([ "$form" = 5 ] || echo ', the floor'))" "$label" "$gwall" "$gmem" ""
        [ "$form" = 5 ] && row "iconv to UTF-8, then grep -c '^\\[' (the floor)" "$label" "$floor" "$fmem" ""
        echo "| file size | $label | | $(mb "$bytes" 1048576) MB | |"
        rm -rf "$root"
    done
done
# An NT drive: 'H' reads both hives and tries all nine instances, against
# 'V' (which reads nothing: what is left is the cost of the reading) and a
# C program that only opens the SYSTEM hive with hivex and reads one value.
drive=$(mktemp -d)
config=$drive/WINNT/system32/config
mkdir -p "$config"
"$work/generate_nt_hive" "$hive_mb" "$config/SYSTEM" "$config/SOFTWARE"
label="NT drive, SYSTEM $(mb "$(stat -c %s "$config/SYSTEM")" 1048576) MB"
[ "$("$work/hivex_one_value" "$config/SYSTEM")" = Elsewhere ] ||
    { echo "bench: the hivex program does not read the hive" >&2; exit 1; }
# V starts through env as H does: env's own start is not the reading's cost.
mapfile -t got < <(measure "env DOROVIVI_ROOT=$drive build/native/dorovivi H" "env build/native/dorovivi V" \
    "$work/hivex_one_value $config/SYSTEM")
read -r wall mem <<<"${got[0]}"
read -r vwall vmem <<<"${got[1]}"
read -r hwall hmem <<<"${got[2]}"
row "dorovivi H (NT drive, nothing matches)" "$label" "$wall" "$mem" "$(ratio "$wall" "$vwall") of V (goal 1.5x), $(ratio "$wall" "$hwall") of the hivex program"
row "env dorovivi V (the floor)" "none" "$vwall" "$vmem" ""
row "hivex_open and one value, in C" "$label" "$hwall" "$hmem" ""

# The same drive with its SYSTEM hive dirty: the primary as it was, about a
# megabyte of values only in new-format logs beside it. 'H' replays them into
# memory and reads the result; the floor is 'H' on the clean drive.
dirty=$(mktemp -d)
cp -r "$drive/WINNT" "$dirty/"
"$work/generate_dirty_hive" "$config/SYSTEM" "$dirty/WINNT/system32/config/SYSTEM"
logs=$(($(stat -c %s "$dirty/WINNT/system32/config/SYSTEM.LOG1") + $(stat -c %s "$dirty/WINNT/system32/config/SYSTEM.LOG2")))
errors=$(env DOROVIVI_ROOT="$dirty" build/native/dorovivi H 2>&1 >/dev/null || true)
case $errors in
    *": dirty hive; replayed SYSTEM.LOG1, SYSTEM.LOG2") ;;
    *) echo "bench: the dirty hive row does not time a replay: $errors" >&2 ;;
esac
label="dirty SYSTEM $(mb "$(stat -c %s "$dirty/WINNT/system32/config/SYSTEM")" 1048576) MB, logs $(mb "$logs" 1048576) MB"
against "env DOROVIVI_ROOT=$dirty build/native/dorovivi H" "env DOROVIVI_ROOT=$drive build/native/dorovivi H" \
    "dorovivi H (NT drive, dirty hive replayed)" "$label" " (goal 1.1x)" \
    "dorovivi H on the clean drive (the floor)" "NT drive, SYSTEM clean"
rm -rf "$dirty"

# The same drive as a raw disk image (MBR, one NTFS partition), against TSK's
# icat of the hive into a file and the hivex program reading it; then the
# disk grown to 2 TiB, sparse, its partition table unchanged.
image_dir=$(mktemp -d)
image=$("$work/generate_nt_image" "$drive" "$image_dir" nt)
cp --sparse=always "$image" "$image_dir/nt-2t.img"
truncate -s 2T "$image_dir/nt-2t.img"
system_inode=$(fls -r -p -o 2048 "$image" | awk -F'\t' 'tolower($2) == "winnt/system32/config/system" {print $1}' |
    sed 's/^[^ ]* \([0-9]*\).*/\1/')
icat -o 2048 "$image" "$system_inode" >"$work/SYSTEM.icat"
[ "$("$work/hivex_one_value" "$work/SYSTEM.icat")" = Elsewhere ] ||
    { echo "bench: the floor does not read the hive from the image" >&2; exit 1; }
answers_quietly "the NT disk image rows" DOROVIVI_ROOT="$image"
for disk in "$image" "$image_dir/nt-2t.img"; do
    if [ "$disk" = "$image" ]; then
        label="NT disk image, $(mb "$(stat -c %s "$image")" 1048576) MB"
    else
        label="the same grown to 2 TiB (sparse)"
    fi
    against "env DOROVIVI_ROOT=$disk build/native/dorovivi H" \
        "bash -c \"icat -o 2048 $disk $system_inode >$work/SYSTEM.icat && $work/hivex_one_value $work/SYSTEM.icat\"" \
        "dorovivi H (NT disk image, nothing matches)" "$label" " (goal 0.5x)" \
        "icat of SYSTEM to a file, then the hivex program (the floor)" "$label"
done
# The same disk as the newest of a 5-deep qcow2 chain (each child holding a
# few clusters of its own, in the unpartitioned tail), against its flattened raw.
chain=$image_dir/chain
mkdir -p "$chain"
qemu-img convert -q -f raw -O qcow2 "$image" "$chain/link0.qcow2"
tail_at=$(( $(stat -c %s "$image") - (1 << 20) ))
for i in 1 2 3 4; do
    qemu-img create -q -f qcow2 -F qcow2 -b "link$((i - 1)).qcow2" "$chain/link$i.qcow2"
    qemu-io -f qcow2 -c "write -q -P $i $((tail_at + i * 65536)) 65536" "$chain/link$i.qcow2" >/dev/null
done
qemu-img convert -q -O raw "$chain/link4.qcow2" "$chain/flat.img"
answers_quietly "the qcow2 chain row" DOROVIVI_ROOT="$chain/link4.qcow2"
against "env DOROVIVI_ROOT=$chain/link4.qcow2 build/native/dorovivi H" "env DOROVIVI_ROOT=$chain/flat.img build/native/dorovivi H" \
    "dorovivi H (NT disk image as a 5-deep qcow2 chain)" "NT disk image, 5 qcow2 links" " of the flattened raw (goal 1.2x)" \
    "dorovivi H on the chain flattened to raw" "the same, one raw file"
# An NT installation inside a Windows-made BitLocker volume (XTS-AES 128, 100 MB) unlocked by its startup
# key, against the same file system unencrypted. Its NTFS (32 MB, the smallest hives) is written first and
# copied in through dislocker's read-write mount, below the volume's first metadata copy at 33 MB: dislocker
# refuses a write there, where Windows' own NTFS keeps clusters of its own.
bitlocker=../shared/real/bitlocker/cryptsetup-bitlk-images.tar.xz
bek=4381F759-C4F8-4DE0-BB61-FC33A831BDA5.BEK
if [ -f "$bitlocker" ] && [ -c /dev/fuse ] && command -v dislocker-fuse >/dev/null; then
    locked=$image_dir/locked
    mkdir -p "$locked/mnt" "$locked/drive/WINNT/system32/config"
    "$work/generate_nt_hive" 0 "$locked/drive/WINNT/system32/config/SYSTEM" "$locked/drive/WINNT/system32/config/SOFTWARE"
    truncate -s 32M "$locked/plain.img"
    mkntfs -F -f -q "$locked/plain.img" >/dev/null 2>&1
    "$work/ntfs_populate" "$locked/plain.img" "$locked/drive"
    tar xSJf "$bitlocker" -C "$locked" --strip-components=1 bitlk-images/bitlk-aes-xts-128-startup-key.img "bitlk-images/$bek"
    chmod 600 "$locked/$bek"
    printf 'bek:%s\n' "$bek" >"$locked/keys"
    chmod 600 "$locked/keys"
    dislocker-fuse -V "$locked/bitlk-aes-xts-128-startup-key.img" -f "$locked/$bek" -- "$locked/mnt"
    dd if="$locked/plain.img" of="$locked/mnt/dislocker-file" bs=1M conv=notrunc status=none
    fusermount -u "$locked/mnt"
    answers_quietly "the BitLocker row" DOROVIVI_KEYS="$locked/keys" DOROVIVI_ROOT="$locked/bitlk-aes-xts-128-startup-key.img"
    against "env DOROVIVI_KEYS=$locked/keys DOROVIVI_ROOT=$locked/bitlk-aes-xts-128-startup-key.img build/native/dorovivi H" \
        "env DOROVIVI_ROOT=$locked/plain.img build/native/dorovivi H" \
        "dorovivi H (NT installation inside BitLocker, startup key)" "XTS-AES 128 volume, 100 MB, 24 MB SYSTEM" \
        " of the same unencrypted (goal 2x)" "dorovivi H on the same NTFS unencrypted" "32 MB NTFS, bare"
else
    echo "bench: no BitLocker row (it needs $bitlocker, FUSE and dislocker-fuse)" >&2
fi
rm -rf "$drive" "$image_dir" "$work/SYSTEM.icat"

# The same drive's hives as 20 states (the current one and 19 restore points): dorovivi-inventory
# --states, which lists them with one run, against the 40 runs of H and @ that ask each by name.
states=$(mktemp -d)
mkdir -p "$states/WINNT/system32/config"
"$work/generate_nt_hive" 1 "$states/WINNT/system32/config/SYSTEM" "$states/WINNT/system32/config/SOFTWARE"
names=current
for i in $(seq 1 19); do
    point="$states/System Volume Information/_restore{0}/RP$i"
    mkdir -p "$point/snapshot"
    cp "$states/WINNT/system32/config/SYSTEM" "$point/snapshot/_REGISTRY_MACHINE_SYSTEM"
    cp "$states/WINNT/system32/config/SOFTWARE" "$point/snapshot/_REGISTRY_MACHINE_SOFTWARE"
    { printf 'd\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0'; head -c 512 /dev/zero; printf '\0\200\1\2\3\4\5\%o' "$i"; } >"$point/rp.log"
    names="$names rp:$i"
done
[ "$(build/native/dorovivi-inventory --states "$states" 2>/dev/null | wc -l)" = 20 ] ||
    echo "bench: the states row does not list 20 states" >&2
each="for s in $names; do DOROVIVI_ROOT=$states DOROVIVI_STATE=\$s build/native/dorovivi H; DOROVIVI_ROOT=$states DOROVIVI_STATE=\$s build/native/dorovivi @; done"
against "build/native/dorovivi-inventory -j 1 --states $states" "bash -c '$each'" \
    "dorovivi-inventory -j 1 --states (20 states)" "NT drive, 1 MB hives" " of the 40 runs (goal 1.2x)" \
    "dorovivi H and @ with each DOROVIVI_STATE (the floor)" "the same, 40 runs"
rm -rf "$states"

against "build/native/dorovivi V" "$work/one_line" "dorovivi V" "none" "" "C program printing one line (the floor)" "none"
echo
echo "Load after: $(uptime | sed 's/.*load average/load average/')"

if [ "$use_wine" = 1 ] && command -v wine >/dev/null && [ -f build/win32/dorovivi.exe ]; then
    export WINEPREFIX=$PWD/$work/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    [ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
    wineserver -p || true  # already up after wineboot
    reg="$work/nt-nothing.reg"
    {
        printf 'REGEDIT4\r\n'
        for i in 1 2 3 4 5 6 7 8 9; do
            printf '\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\TESRO41%s\\Parameters]\r\n' "$i"
            printf '"VendorDescription"="Another PC Card"\r\n"DesiredSSID"="Elsewhere"\r\n'
        done
    } > "$reg"
    wine regedit /S "$reg"
    mapfile -t got < <(measure "wine build/win32/dorovivi.exe H" \
        "wine reg query 'HKLM\\System\\CurrentControlSet\\Services\\TESRO411\\Parameters' /v DesiredSSID")
    read -r wall mem <<<"${got[0]}"
    row "wine dorovivi.exe H (18 description reads)" "Wine prefix" "$wall" "$mem" ""
    read -r wall mem <<<"${got[1]}"
    row "wine reg query (one value)" "Wine prefix" "$wall" "$mem" ""
    wineserver -k
fi
