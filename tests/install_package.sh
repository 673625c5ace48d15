#!/usr/bin/env bash
# The Debian package as a user gets it: `cpack -G DEB` builds it, lintian finds neither
# error nor warning in it, `apt-get install` installs it on this machine (which must
# already have every dependency, because it built the tool), the installed files pass the
# validators, man renders the installed manual pages, the installed tool starts and keeps
# running offscreen, and the package is removed again so the machine is left as it was.
# Needs root; skipped (exit 77) otherwise, and when modbus-tcp is already installed, which
# this test must not replace.
#
#   install_package.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR source=support/installed_files.sh
. "$here/support/installed_files.sh"

build=$1
skip() {
    echo "SKIP: $*"
    exit 77
}

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v apt-get >/dev/null || skip "no apt-get on this machine"
if dpkg-query -W -f='${Status}' modbus-tcp 2>/dev/null | grep -q 'install ok installed'; then
    skip "modbus-tcp is already installed here; this test would replace it"
fi
need_tool dpkg-shlibdeps dpkg-dev
need_tool desktop-file-validate desktop-file-utils
need_tool appstreamcli appstream
need_tool lintian lintian
need_tool man man-db

work="$(mktemp -d)"
installed=0
cleanup() {
    if [ "$installed" -eq 1 ]; then
        apt-get remove -y -qq -o DPkg::Lock::Timeout=120 modbus-tcp >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
debs=("$work"/modbus-tcp_*.deb)
[ -f "${debs[0]}" ] || { fail "cpack made no package"; exit 1; }
deb=${debs[0]}

# The dependencies are what dpkg-shlibdeps found in the programs: every library they link.
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6network6 libmodbus5 libc6; do
    [[ "$depends" == *"$lib "* || "$depends" == *"$lib," || "$depends" == *"$lib" ]] ||
        { fail "the package does not depend on $lib"; exit 1; }
done

# Errors and warnings fail; the informational tags are printed for whoever reads the log.
echo "lintian $(basename "$deb")"
lintian --display-info --fail-on error,warning "$deb" ||
    { fail "lintian reports errors or warnings on the package"; exit 1; }

export DEBIAN_FRONTEND=noninteractive
installed=1
apt-get install -y -qq -o DPkg::Lock::Timeout=120 "$deb" >/dev/null
dpkg-query -W -f='${Status}' modbus-tcp | grep -q 'install ok installed' ||
    { fail "apt-get did not install modbus-tcp"; exit 1; }

check_installed_tree /usr
for program in modbus-tcp modbus-sim; do
    if ldd "/usr/bin/$program" | grep -q 'not found'; then
        fail "/usr/bin/$program needs a library the package does not bring"; ldd "/usr/bin/$program"; exit 1
    fi
done

# The installed tool must come up and stay up; timeout ends it after two seconds with 124.
status=0
QT_QPA_PLATFORM=offscreen timeout 2 /usr/bin/modbus-tcp || status=$?
[ "$status" -eq 124 ] || { fail "/usr/bin/modbus-tcp ended by itself with status $status"; exit 1; }

apt-get remove -y -qq -o DPkg::Lock::Timeout=120 modbus-tcp >/dev/null
installed=0
[ ! -e /usr/bin/modbus-tcp ] || { fail "/usr/bin/modbus-tcp is still there after removal"; exit 1; }
echo "PASS: package built, installed, started and removed"
