#!/usr/bin/env bash
# Counts the instructions dorovivi runs for a few fixed questions, under
# callgrind, and compares them with bench/instructions.baseline: a case that
# grew by more than the tolerance fails the run, one that shrank as much is
# reported so that the baseline is refreshed. Instruction counts do not move
# with the machine's load, so this catches a slowdown at landing where a timing
# could not.
#
#   scripts/instruction-counts.sh            # build/native, compare
#   scripts/instruction-counts.sh --update   # rewrite the baseline from this build
#   scripts/instruction-counts.sh --runs 3   # each case three times, with the spread
#
# DOROVIVI_BUILD names another build directory (a plain build: sanitizers
# change every count). DOROVIVI_COUNT_TOLERANCE is the tolerance in per cent.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${DOROVIVI_BUILD:-build/native}
tolerance=${DOROVIVI_COUNT_TOLERANCE:-3}
baseline=bench/instructions.baseline
update=0
runs=1
while [ $# -gt 0 ]; do
    case $1 in
        --update) update=1 ;;
        --runs) runs=$2; shift ;;
        *) echo "usage: $0 [--update] [--runs N]" >&2; exit 2 ;;
    esac
    shift
done

if ! command -v valgrind >/dev/null && ! scripts/install-deps.sh valgrind; then
    if [ "${CI:-}" = "true" ]; then echo "instruction counts: valgrind is missing" >&2; exit 1; fi
    echo "skipping the instruction counts: valgrind is missing" >&2
    exit 0
fi
cmake --build "$build" --target dorovivi write_image_seeds -j"$(nproc)" >/dev/null
tool=$PWD/$build/dorovivi

# The inputs, written afresh each time and the same every time: a 1 MB export
# from the bench generator, the NT drive tree and two images of it from the
# fixture writer (FAT16 on an MBR disk, a bare NTFS volume).
work=$PWD/$build/instruction-counts
rm -rf "$work"
mkdir -p "$work/export"
g++ -O2 -o "$work/generate_hklm" bench/generate_hklm.cpp
"$work/generate_hklm" 1 4 "$work/export/HKLM.reg"
"$build/tests/write_image_seeds" "$work/images" "$work/trees" >/dev/null

cases=(
    "H-export H $work/export"
    "H-drive H $work/trees/nt"
    "H-image-fat16 H $work/images/nt-mbr-fat16.img"
    "H-image-ntfs H $work/images/nt-bare-ntfs.img"
    "V V $work/export"
)

# The instructions of one run, its forked children included (each
# process writes its own file). A fixed environment and no address space
# randomisation, so that nothing but the code changes the count.
count() {
    local letter=$1 root=$2 out=$work/callgrind
    rm -rf "$out"
    mkdir -p "$out"
    # The children run without their sandbox here: its filter would stop
    # callgrind writing a child's counts, and valgrind does not know
    # Landlock's calls. A child's work is the same either way. A forked
    # child starts with its parent's counts, zeroed where it starts serving,
    # so that the program's start is counted once.
    env -i PATH=/usr/bin:/bin DOROVIVI_ROOT="$root" DOROVIVI_SANDBOX=off setarch "$(uname -m)" -R \
        valgrind --tool=callgrind --trace-children=yes --zero-before='ServeAsChild*' --callgrind-out-file="$out/out.%p" --log-file="$out/log.%p" \
        "$tool" "$letter" >/dev/null 2>"$out/stderr" || true
    sed -i "/: the reader's sandbox is off (DOROVIVI_SANDBOX=off)$/d" "$out/stderr"
    if [ -s "$out/stderr" ]; then
        echo "instruction counts: dorovivi $letter over $root wrote to stderr:" >&2
        cat "$out/stderr" >&2
        exit 1
    fi
    awk '/^summary:/ {total += $2} END {print total + 0}' "$out"/out.*
}

declare -A measured
names=()
for entry in "${cases[@]}"; do
    read -r name letter root <<<"$entry"
    names+=("$name")
    lowest="" highest=""
    for ((r = 0; r < runs; r++)); do
        n=$(count "$letter" "$root")
        if [ -z "$lowest" ] || [ "$n" -lt "$lowest" ]; then lowest=$n; fi
        if [ -z "$highest" ] || [ "$n" -gt "$highest" ]; then highest=$n; fi
    done
    measured[$name]=$lowest
    if [ "$runs" -gt 1 ]; then
        echo "$name: $lowest to $highest over $runs runs (spread $((highest - lowest)))"
    fi
done
rm -rf "$work"

if [ "$update" = 1 ]; then
    {
        echo "# Instructions of one run (callgrind, the image reader's child included), written by"
        echo "# scripts/instruction-counts.sh --update. A change meant to cost more updates this file in"
        echo "# the same commit and says why."
        for name in "${names[@]}"; do echo "$name ${measured[$name]}"; done
    } >"$baseline"
    echo "instruction counts: $baseline rewritten"
    cat "$baseline"
    exit 0
fi

[ -f "$baseline" ] || { echo "instruction counts: no $baseline; write it with --update" >&2; exit 1; }
failed=0
for name in "${names[@]}"; do
    was=$(awk -v n="$name" '$1 == n {print $2}' "$baseline")
    now=${measured[$name]}
    if [ -z "$was" ]; then
        echo "instruction counts: $name has no baseline; write it with --update" >&2
        failed=1
        continue
    fi
    change=$(awk -v a="$now" -v b="$was" 'BEGIN {printf "%+.2f", (a - b) * 100 / b}')
    verdict=ok
    if awk -v c="$change" -v t="$tolerance" 'BEGIN {exit !(c > t)}'; then
        verdict="FAILED: more than +$tolerance%"
        failed=1
    elif awk -v c="$change" -v t="$tolerance" 'BEGIN {exit !(c < -t)}'; then
        verdict="cheaper by more than $tolerance%: refresh the baseline with --update"
    fi
    printf '%-14s %12s instructions, baseline %12s, %s%%  %s\n' "$name" "$now" "$was" "$change" "$verdict"
done
if [ "$failed" = 1 ]; then
    echo "instruction counts: a case costs more than its baseline; if that is meant, run" \
         "scripts/instruction-counts.sh --update and say why in the commit" >&2
    exit 1
fi
