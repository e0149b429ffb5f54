#!/usr/bin/env bash
# Measures dorovivi against the floor and the tools a user would reach for
# instead, and prints a Markdown table: each figure the median of several runs,
# all measured side by side in this one run.
#
#   bash bench/run.sh            # sizes 1, 10 and 100 MB, 5 runs each
#   BENCH_SIZES="1" BENCH_RUNS=1 BENCH_WINE=0 BENCH_HIVE_MB=1 bash bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=${BENCH_SIZES:-"1 10 100"}
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
printf '#include <stdio.h>\nint main(void) { puts("one line"); return 0; }\n' > "$work/one_line.c"
gcc -O2 -o "$work/one_line" "$work/one_line.c"

# Median wall time (ms) and median peak resident memory (KB) of a command.
measure() {
    local walls=() mems=() i start end
    for ((i = 0; i < runs; i++)); do
        start=$EPOCHREALTIME
        # Not /dev/null: grep stops at the first match when it sees it writes there.
        /usr/bin/time -f %M -o "$work/mem" "$@" >"$work/out" 2>&1 || true
        end=$EPOCHREALTIME
        walls+=("$(awk -v s="$start" -v e="$end" 'BEGIN {print (e - s) * 1000}')")
        mems+=("$(tail -n 1 "$work/mem")")
    done
    local wall mem
    wall=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]}')
    mem=$(printf '%s\n' "${mems[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    echo "$wall $mem"
}

mb() { awk -v n="$1" -v d="$2" 'BEGIN {printf "%.1f", n / d}'; }
row() { printf '| %s | %s | %s ms | %s MB |\n' "$1" "$2" "$3" "$(mb "$4" 1024)"; }

echo "| what | input | wall (median of $runs) | peak RSS |"
echo "|---|---|---|---|"
for size in $sizes; do
    for form in 4 5; do
        root=$(mktemp -d)
        "$work/generate_hklm" "$size" "$form" "$root/HKLM.reg"
        bytes=$(stat -c %s "$root/HKLM.reg")
        label="$size MB, $([ "$form" = 4 ] && echo REGEDIT4 || echo 'v5 UTF-16')"
        read -r wall mem < <(measure env DOROVIVI_ROOT="$root" build/native/dorovivi H)
        row "dorovivi H (NT, nothing matches)" "$label" "$wall" "$mem"
        read -r wall mem < <(measure env DOROVIVI_ROOT="$root" build/native/dorovivi @)
        row "dorovivi @" "$label" "$wall" "$mem"
        read -r wall mem < <(measure grep -c '^\[' "$root/HKLM.reg")
        row "grep -c '^\\[' (one pass, the floor)" "$label" "$wall" "$mem"
        echo "| file size | $label | | $(mb "$bytes" 1048576) MB |"
        rm -rf "$root"
    done
done
# An NT drive: 'H' reads both hives and tries all nine instances, against
# hivexget reading one value of the same SYSTEM hive.
drive=$(mktemp -d)
config=$drive/WINNT/system32/config
mkdir -p "$config"
"$work/generate_nt_hive" "$hive_mb" "$config/SYSTEM" "$config/SOFTWARE"
label="NT drive, SYSTEM $(mb "$(stat -c %s "$config/SYSTEM")" 1048576) MB"
read -r wall mem < <(measure env DOROVIVI_ROOT="$drive" build/native/dorovivi H)
row "dorovivi H (NT drive, nothing matches)" "$label" "$wall" "$mem"
read -r wall mem < <(measure hivexget "$config/SYSTEM" 'ControlSet001\Services\TESRO411\Parameters' DesiredSSID)
row "hivexget of one value" "$label" "$wall" "$mem"
rm -rf "$drive"

read -r wall mem < <(measure build/native/dorovivi V)
row "dorovivi V" "none" "$wall" "$mem"
read -r wall mem < <(measure "$work/one_line")
row "C program printing one line" "none" "$wall" "$mem"

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
    read -r wall mem < <(measure wine build/win32/dorovivi.exe H)
    row "wine dorovivi.exe H (18 description reads)" "Wine prefix" "$wall" "$mem"
    read -r wall mem < <(measure wine reg query 'HKLM\System\CurrentControlSet\Services\TESRO411\Parameters' /v DesiredSSID)
    row "wine reg query (one value)" "Wine prefix" "$wall" "$mem"
    wineserver -k
fi
