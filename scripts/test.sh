#!/usr/bin/env bash
# Builds every target and runs every test: natively over the emulation, the
# same again under AddressSanitizer and UBSan, the fuzzers for a bounded time,
# the Windows build under Wine, and the zip and Debian packages. Where this
# kernel runs 32-bit x86 programs, Wine runs here with the whole table (three
# versions of each Windows family and a 64-bit Windows); where it does not, a
# QEMU guest runs the reduced set of `scripts/wine-vm.sh --ci` at the end
# (71 of the table's 167 scenario runs; DOROVIVI_WINE_VM=0 skips it outside CI).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

# What the fuzzers, the instruction counts and the benchmark run need too, so
# that the audit below sees every build.
scripts/install-deps.sh clang libclang-rt-14-dev valgrind time

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
# Wine runs the 32-bit program in a 32-bit Linux process. A kernel built
# without IA-32 emulation refuses every such process ("Exec format error"),
# whatever is installed; then the Wine suites run in an emulated guest at the
# end, unless a developer opts out. CI always runs them.
wine_runs=1 wine_vm=0
if [ "$wine_ready" -eq 1 ] && ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
    wine_runs=0 wine_vm=1
    if [ "${DOROVIVI_WINE_VM:-}" = "0" ] && [ "${CI:-}" != "true" ]; then
        wine_vm=0
        echo "WARNING: this kernel cannot run 32-bit x86 programs (no IA-32 emulation) and DOROVIVI_WINE_VM=0:" \
             "the Wine suites are skipped; the Windows program is still built and its package checked" >&2
    else
        echo "this kernel cannot run 32-bit x86 programs (no IA-32 emulation): the Wine suites run in an" \
             "emulated guest at the end (scripts/wine-vm.sh --ci)"
    fi
fi

# Every header, library and program the builds and tests use must come from a
# package the scripts install: a green run here must not rest on a hand install.
python3 scripts/dependency_audit.py --self-test

if [ "$wine_ready" -eq 1 ]; then
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 -j"$jobs"
    if [ "$wine_runs" -eq 1 ]; then export DOROVIVI_WIN32_DIR="$PWD/build/win32"; fi
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
# A slowdown shows as more instructions than bench/instructions.baseline holds.
scripts/instruction-counts.sh
ctest --preset native -j"$jobs"
scripts/package-check.sh deb
if [ "$wine_vm" -eq 1 ]; then
    scripts/wine-vm.sh --ci
fi
