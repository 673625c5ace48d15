#!/usr/bin/env bash
# Installs what is missing, builds, starts the bundled device simulator with changing
# values, and starts the tool. When the tool closes, the simulator it started is stopped.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    cat >&2 <<'MSG'
There is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run it on a desktop, or under a virtual X server:

    xvfb-run -a scripts/run.sh

(xvfb-run comes with the Debian packages xvfb and xauth: sudo apt-get install xvfb xauth)
MSG
    exit 1
fi

scripts/install-deps.sh run

build="${BUILD_DIR:-$here/build-release}"
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target modbus-tcp modbus-sim

tool="$build/src/modbus-tcp"
sim="$build/sim/modbus-sim"

port_busy() {
    # Something already accepts connections there.
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT INT TERM

start_sim() {
    local port=$1 log
    log="$(mktemp)"
    "$sim" --live --host 127.0.0.1 --port "$port" >"$log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 50); do
        if grep -q 'listening on' "$log"; then
            rm -f "$log"
            return 0
        fi
        if ! kill -0 "$sim_pid" 2>/dev/null; then
            sim_pid=""
            rm -f "$log"
            return 1
        fi
        sleep 0.1
    done
    rm -f "$log"
    return 1
}

# The tool starts with the simulator's address in its IP Address box.
address=()
if ! port_busy 502 && start_sim 502; then
    address=(127.0.0.1)
    echo "Device simulator running on 127.0.0.1:502: press Connect."
elif start_sim 1502; then
    address=(127.0.0.1:1502)
    echo "Device simulator running on 127.0.0.1:1502 (port 502 is taken or needs root)."
    echo "The IP Address box holds 127.0.0.1:1502: press Connect."
else
    echo "Could not start the device simulator; the tool starts without it." >&2
fi

"$tool" "${address[@]}"
