#!/usr/bin/env bash
# Checks the C++ sources and fails on any finding, naming its file and line:
#
#   scripts/lint.sh
#
# First the layout of every .cpp and .h of src, sim, tests, fuzz, bench and resources
# against .clang-format, then clang-tidy's checks of .clang-tidy on the .cpp files of the
# tool and the simulator. clang-tidy compiles each file as the normal build tree does
# (BUILD_DIR, build/ by default), so that tree is configured here when it is missing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

scripts/install-deps.sh lint

failed=0

# --dry-run --Werror prints file:line:column and the line for each place that differs from
# the configured layout, and exits non-zero.
mapfile -t sources < <(find src sim tests fuzz bench resources -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "lint: the files above differ from .clang-format; clang-format -i FILE... fixes them" >&2
    failed=1
fi

build="${BUILD_DIR:-$here/build}"
if [ ! -f "$build/compile_commands.json" ]; then
    cmake --preset normal -B "$build" >/dev/null
fi
build="$(cd "$build" && pwd)"
# The sources include what moc generates (status_announcer.moc), and only a build makes it.
# The code generators of the tool's and the simulator's targets are enough: each is the
# <target>_autogen folder of a mocs_compilation.cpp. CMake has them wait for the libraries
# their targets link, so a library whose sources changed is compiled again first; on a tree
# that is up to date this takes seconds.
generators=()
while read -r dir; do
    case "$dir" in
    "$build"/src/* | "$build"/sim/*) generators+=("${dir##*/}") ;;
    esac
done < <(sed -n 's|.*"file": "\(.*_autogen\)/mocs_compilation\.cpp".*|\1|p' "$build/compile_commands.json")
if [ ${#generators[@]} -gt 0 ]; then
    cmake --build "$build" -j2 --target "${generators[@]}" >/dev/null
fi

# Two clang-tidy at a time, as the tests run two at a time on this project's machines. Each
# file's findings are kept apart and printed whole, in the order of the files, without
# clang-tidy's count of the warnings it hid in Qt's headers.
mapfile -t units < <(find src sim -type f -name '*.cpp' | sort)
LINT_LOGS="$(mktemp -d)"
trap 'rm -rf "$LINT_LOGS"' EXIT
export LINT_LOGS LINT_BUILD="$build"
tidy_one() {
    local log
    log="$LINT_LOGS/$(printf '%s' "$1" | tr / _)"
    if ! clang-tidy -p "$LINT_BUILD" --quiet --warnings-as-errors='*' "$1" >"$log" 2>&1; then
        grep -v '^[0-9]* warnings\? generated\.$' "$log" >"$log.found" || true
        return 1
    fi
}
export -f tidy_one
printf '%s\0' "${units[@]}" | xargs -0 -n1 -P2 bash -c 'tidy_one "$1"' _ || failed=1
for file in "${units[@]}"; do
    found="$LINT_LOGS/$(printf '%s' "$file" | tr / _).found"
    if [ -f "$found" ]; then
        cat "$found"
        echo "lint: clang-tidy's findings in $file are above" >&2
    fi
done

if [ "$failed" -ne 0 ]; then
    exit 1
fi
echo "lint: clang-format and clang-tidy found nothing"
