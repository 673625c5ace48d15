#!/usr/bin/env bash
# The soak: read and write round trips through the window's handlers against modbus-sim,
# checking every reply and that the peak RSS grows by less than 2 MB after a warm-up.
#
#   scripts/soak.sh [round-trips]               Release build, 100000 round trips by default
#   scripts/soak.sh --lsan [round-trips]        AddressSanitizer/LeakSanitizer build, 5000
#   scripts/soak.sh --valgrind [round-trips]    Release build under valgrind --leak-check=full, 5000
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

mode=release
case "${1:-}" in
    --lsan) mode=lsan; shift ;;
    --valgrind) mode=valgrind; shift ;;
esac

if [ "$mode" = lsan ]; then
    count="${1:-5000}"
    build="${SOAK_ASAN_BUILD_DIR:-$here/build-asan}"
    preset=soak-sanitizers
else
    count="${1:-100000}"
    build="${SOAK_BUILD_DIR:-$here/build-soak}"
    preset=soak
fi
scripts/install-deps.sh soak
cmake --preset "$preset" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target soak modbus-sim

# A shorter warm-up for short runs; 1000 round trips for the full one.
warmup=$(( count >= 10000 ? 1000 : count / 10 ))
export QT_QPA_PLATFORM=offscreen
case "$mode" in
    release)
        "$build/tests/soak/soak" "$count" "$warmup"
        ;;
    lsan)
        export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
        "$build/tests/soak/soak" "$count" "$warmup"
        echo "LeakSanitizer: no leak reported"
        ;;
    valgrind)
        # Only what the tool itself loses counts: "definitely lost" must be 0. The
        # suppressions are for reports about Qt's own code that are not faults.
        log="$build/soak-valgrind.log"
        rc=0
        valgrind --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=3 \
            --suppressions="$here/tests/valgrind.supp" \
            --log-file="$log" "$build/tests/soak/soak" "$count" "$warmup" || rc=$?
        grep -E 'definitely lost|indirectly lost|possibly lost|ERROR SUMMARY' "$log" | sed 's/^==[0-9]*== //'
        exit "$rc"
        ;;
esac
