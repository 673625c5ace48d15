#!/usr/bin/env bash
# Installs what building, running and testing the tool need on Debian 12, and nothing
# when all of it is already there. With --bench, also what scripts/bench.sh needs.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev libmodbus-dev
    xvfb xauth
    clang libclang-rt-14-dev
    # the accessibility test switches Qt's accessibility on as a screen reader would
    qt6-base-private-dev
    # the Debian package (dpkg-shlibdeps) and the validators of its desktop files
    dpkg-dev desktop-file-utils appstream
)

# Only the benchmark uses these: start-up timing, the decoding micro-benchmark, and
# /usr/bin/time for a second reading of peak memory.
bench_packages=(
    hyperfine libbenchmark-dev time
)
if [ "${1:-}" = "--bench" ]; then
    packages+=("${bench_packages[@]}")
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
