#!/usr/bin/env bash
# Measures how soon the tool ends once its window is closed while a host-name lookup hangs,
# and fails when that takes 1 s or more. The lookup goes to a DNS server on a loopback
# address that takes every query and answers none; the tool is pointed at it through a
# resolv.conf of its own in a private mount namespace, so neither the machine's resolver
# set-up nor its network plays a part. The window is closed twice: during Connect's
# two-second wait, and after "Can't connect to ..." while the lookup still hangs (the
# resolver gives up after 2 x 5 s). Needs root, or sudo, for the namespace and port 53.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

sudo=""
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
    as_root=(sudo --preserve-env=DISPLAY,XAUTHORITY)
fi

scripts/install-deps.sh run
# xdotool types into the window; python3-xlib (for Debian's /usr/bin/python3) closes it as a
# window manager would; all on a virtual X server.
missing=()
for p in xdotool python3-xlib xvfb xauth; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get install -y -qq "${missing[@]}"
fi

build="${BUILD_DIR:-$here/build}"
cmake --preset normal -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target modbus-tcp

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/close.py" <<'PY'
# Sends WM_DELETE_WINDOW to the window, then prints the time it was sent.
import sys, time
from Xlib import X, display, protocol
d = display.Display()
w = d.create_resource_object('window', int(sys.argv[1]))
message = protocol.event.ClientMessage(
    window=w, client_type=d.intern_atom('WM_PROTOCOLS'),
    data=(32, [d.intern_atom('WM_DELETE_WINDOW'), X.CurrentTime, 0, 0, 0]))
w.send_event(message, event_mask=X.NoEventMask)
d.sync()
print('%.6f' % time.time())
PY
cat >"$work/silent_dns.py" <<'PY'
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(('127.53.0.1', 53))
print('ready', flush=True)
while True:
    s.recv(4096)
PY
cat >"$work/inner.sh" <<'SH'
set -euo pipefail
printf 'nameserver 127.53.0.1\noptions timeout:5 attempts:2\n' >"$work/resolv.conf"
mount --bind "$work/resolv.conf" /etc/resolv.conf
/usr/bin/python3 "$work/silent_dns.py" >"$work/dns.log" & dns=$!
trap 'kill $dns 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q ready "$work/dns.log" && break; sleep 0.1; done
rc=0
timeout 2 getent hosts plc.lookup-hangs.test >/dev/null || rc=$?
if [ $rc -ne 124 ]; then
    echo "the lookup did not hang: the check cannot show anything" >&2
    exit 1
fi

failed=0
measure() { # $1: what, $2: seconds from Connect to closing
    # No session bus: the check is about the resolver, and no bus is started on the side.
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" QT_QPA_PLATFORM=xcb "$tool" >/dev/null 2>&1 & pid=$!
    wid="$(xdotool search --sync --name '^Modbus TCP$' | head -n 1)"
    sleep 1
    xdotool mousemove --window "$wid" 100 49 click 1 key ctrl+a type plc.lookup-hangs.test
    xdotool mousemove --window "$wid" 56 88 click 1      # Connect
    sleep "$2"
    sent="$(/usr/bin/python3 "$work/close.py" "$wid")"
    code=0
    wait "$pid" || code=$?
    ended="$(date +%s.%N)"
    secs="$(awk -v a="$sent" -v b="$ended" 'BEGIN { printf "%.3f", b - a }')"
    echo "$1: the process ended $secs s after the window closed, exit code $code"
    awk -v s="$secs" 'BEGIN { exit !(s < 1) }' && [ "$code" -eq 0 ] || failed=1
}
measure "closed during Connect's wait (lookup 1 s old)" 1
measure "closed after Can't connect (lookup 4 s old)" 4
exit $failed
SH

xvfb-run -a "${as_root[@]}" env work="$work" tool="$build/src/modbus-tcp" unshare --mount bash "$work/inner.sh"
