#!/usr/bin/env bash
# The performance benchmark in one command: installs what is missing, builds the tool and
# the benchmark programs in Release, runs every measurement against the bundled simulator on
# loopback (and a virtual X server for the ones that need a display), prints the table and
# writes it, with the machine it ran on, to docs/performance.md.
#
#   scripts/bench.sh [--count N] [--batch N] [--startup-runs N] [--monitor-seconds N]
#                    [--output FILE]
#
# The defaults are those of the published figures; smaller ones make a quick trial run.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

count=20000          # round trips per side and kind
batch=500            # round trips per side in one pair
startup_runs=30      # pairs of start-ups
monitor_seconds=30
output="$here/docs/performance.md"

while [ $# -gt 0 ]; do
    case "$1" in
    --count) count="$2"; shift 2 ;;
    --batch) batch="$2"; shift 2 ;;
    --startup-runs) startup_runs="$2"; shift 2 ;;
    --monitor-seconds) monitor_seconds="$2"; shift 2 ;;
    --output) output="$2"; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done

scripts/install-deps.sh bench

build="${BENCH_BUILD_DIR:-$here/build-bench}"
echo "Building in Release in $build ..."
cmake --preset benchmark -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target bench_modbus_tcp modbus-sim bench_roundtrip bench_decode \
    bench_connect_wait bench_monitor bench_minimal_qt bench_minimal_qt_network bench_startup >/dev/null

# The tool as it ships, plus the hook that quits after the first paint (only this build has it).
tool="$build/bench/bench_modbus_tcp"
sim="$build/sim/modbus-sim"
b="$build/bench"

work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Qt wants a private runtime folder; without one it warns on every start.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"

# Starts the simulator with the given options and sets the named variable to its port.
start_sim() {
    local var="$1" log="$work/sim-$1.log"
    shift
    "$sim" --host 127.0.0.1 --port 0 "$@" >"$log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        if grep -q 'listening on' "$log"; then
            printf -v "$var" '%s' "$(sed -n 's/.*listening on .*:\([0-9]*\)$/\1/p' "$log")"
            return 0
        fi
        sleep 0.05
    done
    echo "bench.sh: the simulator did not start: $(cat "$log")" >&2
    exit 1
}

start_xvfb() {
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        if [ -s "$work/display" ]; then
            export DISPLAY=":$(head -n1 "$work/display")"
            return 0
        fi
        sleep 0.05
    done
    echo "bench.sh: Xvfb did not start: $(cat "$work/xvfb.log")" >&2
    exit 1
}

rows="$work/rows.md"
log="$work/commentary.txt"
: >"$rows"
: >"$log"
# Runs one benchmark program: table rows to $rows, everything else to the commentary.
measure() {
    local title="$1"
    shift
    echo "== $title"
    echo "== $title" >>"$log"
    if ! "$@" >"$work/out" 2>"$work/err"; then
        cat "$work/out" "$work/err" >&2
        echo "bench.sh: $title failed" >&2
        exit 1
    fi
    grep '^|' "$work/out" >>"$rows" || true
    grep -v '^|' "$work/out" >>"$log" || true
    grep -v 'QStandardPaths' "$work/err" >>"$log" || true
}

start_sim port
start_sim live_port --live
# RTU framing over TCP: one simulator for the window, one for the bare socket, as each
# serves one client at a time like a serial line.
start_sim rtu_port --rtu
start_sim rtu_floor_port --rtu
start_xvfb

measure "Decoding (Google Benchmark)" env QT_QPA_PLATFORM=offscreen "$b/bench_decode" \
    --benchmark_repetitions=5 --benchmark_min_time=0.5 --benchmark_color=false
measure "Round trips: $count per side and kind, pairs of $batch" env QT_QPA_PLATFORM=offscreen \
    "$b/bench_roundtrip" --port "$port" --rtu-port "$rtu_port" --rtu-floor-port "$rtu_floor_port" \
    --count "$count" --batch "$batch"
measure "Connect wait" env QT_QPA_PLATFORM=offscreen "$b/bench_connect_wait" 5
measure "Start-up under Xvfb: $startup_runs pairs" env QT_QPA_PLATFORM=xcb \
    "$b/bench_startup" "$startup_runs" 3 "$tool" "$b/bench_minimal_qt" "$b/bench_minimal_qt_network"

# Second readings of start-up by the usual tools, to check the pair runner against.
echo "== Start-up cross-checks (hyperfine, /usr/bin/time -v)"
crosscheck="$work/crosscheck.md"
(
    export QT_QPA_PLATFORM=xcb MODBUS_TCP_EXIT_AFTER_FIRST_PAINT=1
    hyperfine -N --style none --warmup 3 --runs 20 --export-markdown "$work/hyperfine.md" \
        -n modbus-tcp "$tool" -n minimal-qt "$b/bench_minimal_qt" >>"$log" 2>&1
    peak() {
        /usr/bin/time -v -o "$work/time.txt" "$1" >/dev/null 2>&1
        sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt"
    }
    {
        echo "hyperfine, 20 runs each after 3 warm-ups (wall time; the ratio is of the means):"
        echo
        cat "$work/hyperfine.md"
        echo
        echo "/usr/bin/time -v, maximum resident set size of one run each: modbus-tcp $(peak "$tool") KiB," \
            "minimal Qt program $(peak "$b/bench_minimal_qt") KiB."
    } >"$crosscheck"
)

measure "Monitoring under Xvfb for $monitor_seconds s" env QT_QPA_PLATFORM=xcb \
    "$b/bench_monitor" 127.0.0.1 "$live_port" "$monitor_seconds"

load_after="$(cut -d' ' -f1-3 /proc/loadavg)"

# The machine, as the figures only mean something next to it.
cpu_model="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)"
mem_total="$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
qt_version="$(pkg-config --modversion Qt6Core 2>/dev/null || echo unknown)"
modbus_version="$(pkg-config --modversion libmodbus 2>/dev/null || echo unknown)"
compiler="$(c++ --version | head -n1)"
commit="$(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
if [ -n "$(git status --porcelain -- src bench 2>/dev/null)" ]; then
    commit="$commit with uncommitted changes"
fi

table="$work/table.md"
{
    echo "| Measure | Tool | Reference | Ratio or figure | Goal | Met |"
    echo "|---|---|---|---|---|---|"
    cat "$rows"
} >"$table"

mkdir -p "$(dirname "$output")"
{
    cat <<EOF
# Performance

Measured by \`scripts/bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'). Rerun it to refresh this
page; it installs what it needs, builds in Release and takes a few minutes.

## Machine

| | |
|---|---|
| Processors (nproc) | $(nproc) |
| CPU | ${cpu_model:-unknown} |
| Memory | $mem_total |
| Kernel | $(uname -sr) |
| Qt | $qt_version |
| libmodbus | $modbus_version |
| Compiler | $compiler |
| Source | commit $commit |
| Load average (1, 5, 15 min) | before $load_before, after $load_after |

## Results

EOF
    cat "$table"
    cat <<EOF

How to read it: every comparison runs both sides in turn, in pairs, in the same run, and the
ratio is the median of the per-pair ratios, so that whatever else the machine does falls on
both sides alike. The Tool and Reference columns are absolute figures over the whole run and
are only there for scale; the goals are the ratios.

- Round trip: the tool's real path — \`ReadHolding\`, \`ReadCoils\` or \`WriteHolding\` of a
  shown window (offscreen platform), the QTcpSocket, the simulator, \`Winsock1_DataArrival\`,
  the sixteen boxes and the status line — until the reply timeout has stopped; against
  libmodbus's \`modbus_read_registers\`, \`modbus_read_bits\` and \`modbus_write_registers\` on
  the same simulator. $count requests per side and kind in pairs of batches of $batch; the
  mean ratio is the median over the pairs of the ratio of the batch means, the p99 ratio the
  median over the pairs of the ratio of the batch 99th percentiles. The bare-QTcpSocket rows
  time a client that only writes the request and waits for the reply's bytes on the same
  event loop: the floor that Qt itself sets. The RTU rows time the same read of 16 holding
  registers through the tool in Modbus RTU framing over TCP against \`modbus-sim --rtu\`,
  beside the tool in Modbus TCP, in rounds of the four batches (the tool and a bare socket on
  each framing) in rotating order; the second row divides each framing's tool round trip by
  its bare socket's on the same simulator, as the RTU simulator passes every frame across a
  local socket pair to libmodbus and back, one hop more than its Modbus TCP side.
- Decoding: Google Benchmark, CPU time per reply, median of 5 repetitions. Debian builds the
  library itself without optimisation, which its banner reports; the code measured is built
  in Release.
- Start-up: process start to the window's first paint, then exit
  (\`MODBUS_TCP_EXIT_AFTER_FIRST_PAINT=1\`, heeded only by the benchmark's build of the tool,
  \`bench_modbus_tcp\`), under Xvfb with the xcb platform, against a Qt
  Widgets program showing one QLabel, built in the same tree with the same hook. Wall time
  around posix_spawn and wait4, CPU (user + system) and peak resident set from the child's
  rusage. The rows against the minimal program holding a QTcpSocket show what Qt Network
  alone adds.
- Connect wait: CPU (user + system) of the whole process during the two-second wait of a
  connect that gets no answer (a loopback port whose listen queue is full; a refused one
  ends at once); median of 5 attempts after a first one.
- Monitoring: the real window on Xvfb, connected to \`modbus-sim --live\` (register 0 changes
  every second), monitoring clicked on; CPU of the whole process over the monitoring period
  alone.

## Start-up cross-checks

EOF
    cat "$crosscheck"
    if [ -f bench/notes.md ]; then
        echo
        cat bench/notes.md
    fi
    cat <<EOF

## Commentary of this run

\`\`\`
EOF
    grep -v '^\*\*\*WARNING\*\*\*' "$log" | sed 's/\x1b\[[0-9;]*m//g'
    echo '```'
} >"$output"

echo
cat "$table"
echo
echo "Written to ${output#"$here"/}"
