#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the whole
# suite again with AddressSanitizer and UBSan, then each fuzz target for a short bounded
# time (FUZZ_SECONDS, 20 by default; 0 skips fuzzing).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

scripts/install-deps.sh

build="${BUILD_DIR:-$here/build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j"$(nproc)"

(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2)

# The same tests on an instrumented build: any memory error, leak or undefined behaviour
# fails the test that ran into it. The install tests only copy and package files, and the
# normal build has run them already.
asan_build="${ASAN_BUILD_DIR:-$here/build-asan}"
cmake -S . -B "$asan_build" -DCMAKE_BUILD_TYPE=Debug -DMODBUS_TCP_SANITIZE=ON >/dev/null
cmake --build "$asan_build" -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd "$asan_build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 -E '^install_')

if [ "${FUZZ_SECONDS:-20}" -gt 0 ]; then
    FUZZ_BUILD_DIR="${FUZZ_BUILD_DIR:-$here/build-fuzz}" scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
fi
