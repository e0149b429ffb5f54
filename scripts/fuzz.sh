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
for target in fuzz_reg_image fuzz_commands; do
    corpus=$(mktemp -d)
    log=build/fuzz/$target.log
    if ! build/fuzz/$target -max_total_time="$seconds" -max_len=8192 -timeout=10 \
            -artifact_prefix=build/fuzz/crashes/ "$corpus" tests/fuzz/seeds >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "$target: failed, input kept in build/fuzz/crashes" >&2
        exit 1
    fi
    runs=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | tail -n 1)
    echo "$target: $runs(s), corpus $(ls "$corpus" | wc -l) inputs"
    rm -rf "$corpus"
done
