#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build and the checks of
# scripts/lint.sh, the whole suite, the suite again with AddressSanitizer and UBSan, then
# each fuzz target for a short bounded time (FUZZ_SECONDS, 20 by default; 0 skips fuzzing).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

scripts/install-deps.sh test

build="${BUILD_DIR:-$here/build}"
cmake --preset normal -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)"

# The layout and clang-tidy's checks, on the compile commands of the tree just built. They
# take a few minutes, and a finding ends the run before the longer tests.
BUILD_DIR="$build" scripts/lint.sh

# Each ctest run ends with "N% tests passed, N tests failed out of T"; the totals are
# added up for the closing line.
summary="$(mktemp)"
trap 'rm -f "$summary"' EXIT
run_ctest() {
    local dir=$1
    shift
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@") | tee -a "$summary"
}

run_ctest "$build"

# The same tests on an instrumented build: any memory error, leak or undefined behaviour
# fails the test that ran into it. The install tests only copy and package files, and the
# normal build has run them already.
asan_build="${ASAN_BUILD_DIR:-$here/build-asan}"
cmake --preset sanitizers -B "$asan_build" >/dev/null
cmake --build "$asan_build" -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_ctest "$asan_build" -E '^install_'

fuzz_targets=0
if [ "${FUZZ_SECONDS:-20}" -gt 0 ]; then
    FUZZ_BUILD_DIR="${FUZZ_BUILD_DIR:-$here/build-fuzz}" scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
    fuzz_targets=$(ls fuzz/fuzz_*.cpp | wc -l)
fi

# Reached only when everything passed: any failure above has already ended the script.
tests=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$summary" | awk '{ s += $1 } END { print s + 0 }')
echo "all: $((tests + fuzz_targets)) passed, 0 failed"
