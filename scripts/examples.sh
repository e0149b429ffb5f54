#!/usr/bin/env bash
# Builds the tool and asks each bundled example system all three questions.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target dorovivi -j"$(nproc)" >/dev/null

for system in examples/*/; do
    root=$(mktemp -d)
    cp "$system/HKLM.reg" "$root/"
    echo "== $(basename "$system")"
    for command in V H @; do
        set +e
        output=$(DOROVIVI_ROOT="$root" build/native/dorovivi "$command")
        code=$?
        set -e
        printf 'dorovivi %s -> exit %d, output [%s]\n' "$command" "$code" "$output"
    done
    printf 'atom table: %s\n' "$(tr '\n' ';' < "$root/atoms")"
    rm -rf "$root"
done
