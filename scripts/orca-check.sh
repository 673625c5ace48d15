#!/usr/bin/env bash
# Proves from Orca's debug log that the status line is spoken: Orca, the accessibility bus
# and the tool run on a virtual X server with a private D-Bus session; xdotool connects to
# the bundled simulator and reads, the simulator is stopped (SIGSTOP) until the reply times
# out and then killed. The log must show Orca saying "Connected", "Registers read",
# "Modbus Time Out!" and "Connection lost", in that order. No sound is needed: the log
# records what Orca says whether or not a speech server runs. Takes about 40 s.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

scripts/install-deps.sh run
# The screen reader and the accessibility bus; dbus-run-session gives Orca and the tool a
# session of their own; xdotool clicks and types on a virtual X server.
missing=()
for p in orca at-spi2-core dbus xdotool xvfb xauth; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    $sudo apt-get update -qq
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build="${BUILD_DIR:-$here/build}"
cmake --preset normal -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target modbus-tcp modbus-sim

log="$build/orca-debug.log"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Orca's settings and the session's dconf go to a scratch folder, not to the user's.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

cat >"$work/session.sh" <<'SH'
set -euo pipefail
orca --debug-file "$log" >"$work/orca.out" 2>&1 & orca=$!
"$build/sim/modbus-sim" --port 0 >"$work/sim.log" 2>&1 & sim=$!
tool=""
trap 'kill $tool $sim $orca 2>/dev/null || true' EXIT
sleep 4 # Orca registers its listeners before the tool appears
address="$(sed -n 's/.*listening on //p' "$work/sim.log")"
QT_QPA_PLATFORM=xcb "$build/src/modbus-tcp" >"$work/tool.out" 2>&1 & tool=$!
wid="$(xdotool search --sync --name '^Modbus TCP$' | head -n 1)"
sleep 2
xdotool windowfocus --sync "$wid"
sleep 1
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep "$3"; }
click 100 49 1                       # the address box
xdotool key ctrl+a type "$address"
sleep 1
click 56 88 3                        # Connect: "Connected"
click 56 216 2                       # Read: "Registers read"
kill -STOP "$sim"
click 56 216 5                       # Read, unanswered: "Modbus Time Out!" after 3 s
kill -KILL "$sim"; wait "$sim" 2>/dev/null || true
sim=""
sleep 3                              # "Connection lost"
kill "$tool"; wait "$tool" 2>/dev/null || true
tool=""
kill -TERM "$orca"; wait "$orca" 2>/dev/null || true # Orca writes out its log as it ends
orca=""
SH
xvfb-run -a -s "-screen 0 1024x768x24" \
    env log="$log" work="$work" build="$build" dbus-run-session -- bash "$work/session.sh" 2>/dev/null

echo "Orca's debug log: $log"
# For each message: when Orca got the notification's event, and what it said about it.
failed=0
after=0
for message in "Connected" "Registers read" "Modbus Time Out!" "Connection lost"; do
    line="$(awk -v m="$message" -v after="$after" '
        NR > after && index($0, "SPEECH OUTPUT: \047notification " m) { print NR; exit }' "$log")"
    if [ -z "$line" ]; then
        echo "NOT SPOKEN: $message"
        failed=1
        continue
    fi
    event="$(awk -v m="$message" -v upto="$line" '
        NR < upto && index($0, "EVENT MANAGER: object:state-changed:showing for [notification | " m "]") { t = $1 }
        END { print t }' "$log")"
    spoken="$(sed -n "${line}p" "$log")"
    echo "spoken: ${spoken%%\{*}   (event at $event)"
    after=$line
done
[ $failed -eq 0 ] && echo "Orca spoke all four status messages, in order"
exit $failed
