#!/usr/bin/env bash
# Installs on Debian 12 what one command of this project needs, and nothing when all of it
# is already there:
#
#   scripts/install-deps.sh run|test|lint|fuzz|soak|bench|screenshot|cable
#
# Each script calls it with its own name; only scripts/test.sh needs the packaging tools,
# and only the benchmark, the screenshot and the cable check a virtual X server.
set -euo pipefail

# Building the tool and the simulator, which every command does.
packages=(cmake g++ make pkg-config qt6-base-dev libmodbus-dev)
case "${1:-}" in
run) ;;
test)
    packages+=(
        # the accessibility test switches Qt's accessibility on as a screen reader would
        qt6-base-private-dev
        # the fuzz targets, run briefly at the end of the test command
        clang libclang-rt-14-dev
        # the install tests: the Debian package (dpkg-shlibdeps), the validators of its
        # desktop files and of the package itself, and man for its manual pages
        dpkg-dev desktop-file-utils appstream lintian man-db
        # scripts/lint.sh, which the test command runs after the normal build
        clang-format clang-tidy
    )
    ;;
# the layout and static checks of scripts/lint.sh
lint) packages+=(clang-format clang-tidy) ;;
fuzz) packages+=(clang libclang-rt-14-dev) ;;
# the leak-checked soak builds in the sanitizers tree, whose tests include the
# accessibility test
soak) packages+=(valgrind qt6-base-private-dev) ;;
# start-up timing, the decoding micro-benchmark, /usr/bin/time for a second reading of
# peak memory, and a virtual X server for the measurements that need a display
bench) packages+=(hyperfine libbenchmark-dev time xvfb xauth) ;;
screenshot) packages+=(xvfb xauth xdotool imagemagick) ;;
# the pulled-cable check: network namespaces, a virtual X server, clicks, a capture on the
# device's side and Python to decode it
cable) packages+=(iproute2 xvfb xdotool tcpdump python3) ;;
*)
    echo "usage: scripts/install-deps.sh run|test|lint|fuzz|soak|bench|screenshot|cable" >&2
    exit 2
    ;;
esac

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
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
# Through env, as sudo drops the caller's environment.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
