#!/usr/bin/env bash
# Builds every target and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)"
ctest --preset native -j"$(nproc)"
