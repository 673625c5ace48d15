#!/usr/bin/env bash
# Renders docs/screenshot.png from the real window: the tool under a virtual X server,
# connected to the bundled simulator, after a click on Read.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

# The script runs twice: first to install and build, then again under xvfb-run (on the
# first free display it finds) with --shoot and the build directory, to take the picture.
if [ "${1:-}" != --shoot ]; then
    scripts/install-deps.sh screenshot
    build="${BUILD_DIR:-$here/build-release}"
    cmake --preset release -B "$build" >/dev/null
    cmake --build "$build" -j"$(nproc)" --target modbus-tcp modbus-sim
    exec xvfb-run -a -s "-screen 0 640x480x24" "$here/scripts/screenshot.sh" --shoot "$build"
fi
build=$2

sim_log="$(mktemp)"
"$build/sim/modbus-sim" --host 127.0.0.1 --port "${SIM_PORT:-1502}" >"$sim_log" &
sim=$!
tool=""
trap 'kill $tool $sim 2>/dev/null || true; rm -f "$sim_log"' EXIT
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
