#!/usr/bin/env bash
# Builds every target and runs every test: natively over the emulation, the
# same again under AddressSanitizer and UBSan, the fuzzers for a bounded time,
# the Windows build under Wine in three versions of each Windows family and in
# a 64-bit Windows, and the zip and Debian packages.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/install-deps.sh

# The Windows half needs the cross-compiler and Wine. Without them a developer
# still gets the native suite; CI must have them.
wine_ready=1
if ! scripts/install-deps.sh g++-mingw-w64-i686 wine wine32:i386 wine64 || ! command -v wine >/dev/null; then
    wine_ready=0
fi
if [ "$wine_ready" -eq 0 ]; then
    if [ "${CI:-}" = "true" ]; then
        echo "the Wine suite cannot run: g++-mingw-w64-i686, wine, wine32:i386 or wine64 is missing" >&2
        exit 1
    fi
    echo "skipping the Wine suite: g++-mingw-w64-i686, wine, wine32:i386 or wine64 is missing"
fi

if [ "$wine_ready" -eq 1 ]; then
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 -j"$jobs"
    export DOROVIVI_WIN32_DIR="$PWD/build/win32"
    scripts/package-check.sh zip
fi
# The Wine suite runs once, in the plain build; the sanitizers watch the rest.
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs" >/dev/null
ctest --preset asan -j"$jobs" -E '^wine\.'
scripts/fuzz.sh

# Benchmarks are no tests: only check that the generator and the script run.
BENCH_SIZES=1 BENCH_RUNS=1 BENCH_WINE=0 BENCH_HIVE_MB=1 bash bench/run.sh >/dev/null

# The plain build runs the Wine suite too: the scenarios and the import's
# differential test against Wine's regedit, which fails on any divergence.
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --preset native -j"$jobs"
scripts/package-check.sh deb
