#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan and UBSan on) and runs each for the
# given number of seconds (default 60), one after the other. Prints executions per second
# and totals per target; exits non-zero when a target finds a fault, leaving the input that
# shows it in the build directory (fuzz-artifacts/).
#
#   scripts/fuzz.sh [seconds-per-target] [target...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_reply fuzz_numeric fuzz_coils)
fi

scripts/install-deps.sh fuzz

build="${FUZZ_BUILD_DIR:-$here/build-fuzz}"
cmake --preset fuzzing -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

# ASan's default quarantine (256 MB of freed memory held back to catch late use) makes a
# long run's memory climb towards libFuzzer's 2 GB limit and slows every execution; one
# input frees far less than 64 MB, so use after free within an input is still caught.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=64"

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
failed=0
printf '\n%-14s %10s %14s %8s  %s\n' target seconds executions exec/s result
for t in "${targets[@]}"; do
    seeds="fuzz/corpus/${t#fuzz_}"
    # The corpus grown by a run is kept in the build tree; the seeds in the source tree stay
    # as they are.
    work="$build/corpus/${t#fuzz_}"
    mkdir -p "$work"
    log="$build/$t.log"
    rc=0
    "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
        -artifact_prefix="$artifacts/$t-" "$work" "$seeds" >"$log" 2>&1 || rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    result=ok
    if [ "$rc" -ne 0 ]; then
        result="FAULT (exit $rc, see $log)"
        failed=1
        grep -E '^(broken:|==[0-9]+==ERROR|SUMMARY)' "$log" | head -5 >&2 || true
    fi
    printf '%-14s %10s %14s %8s  %s\n' "$t" "$seconds" "${execs:-?}" "${rate:-?}" "$result"
done
exit "$failed"
