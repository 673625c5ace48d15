#!/usr/bin/env bash
# Renders docs/screenshot.png from the real window: the tool under a virtual X server,
# connected to the bundled simulator, after a click on Read.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

scripts/install-deps.sh
for p in xdotool imagemagick; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
        || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$p"; }
done

build="${BUILD_DIR:-$here/build-release}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target modbus-tcp modbus-sim

export DISPLAY=:93
Xvfb "$DISPLAY" -screen 0 640x480x24 -nolisten tcp &
xvfb=$!
sim_log="$(mktemp)"
"$build/sim/modbus-sim" --host 127.0.0.1 --port "${SIM_PORT:-1502}" >"$sim_log" &
sim=$!
tool=""
trap 'kill $tool $sim $xvfb 2>/dev/null || true; rm -f "$sim_log"' EXIT
for _ in $(seq 50); do grep -q listening "$sim_log" && break; sleep 0.1; done
address="$(sed -n 's/.*listening on //p' "$sim_log")"

QT_QPA_PLATFORM=xcb "$build/src/modbus-tcp" &
tool=$!
wid="$(xdotool search --sync --name '^Modbus TCP$' | head -n 1)"
sleep 1
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep 0.5; }
click 100 49                      # the address box
xdotool key --window "$wid" ctrl+a
xdotool type --window "$wid" "$address"
click 56 88                       # Connect
sleep 1
click 56 216                      # Read
sleep 1
mkdir -p docs
import -window "$wid" docs/screenshot.png
echo "docs/screenshot.png written"
