#!/usr/bin/env bash
# Pulls the network cable between the tool and a device for minutes while the tool monitors,
# puts it back, and counts what reaches the device. The tool and the device hang on a switch:
# the tool in this machine's own network namespace on 10.200.0.1, the bundled simulator in a
# namespace of its own on 10.200.0.2 port 502, the switch a bridge in a third. Pulling the
# cable takes the device's port on the switch down: the device loses its link, the tool's PC
# keeps its own, frames to the device vanish, and the TCP connection stays open, retransmitting
# with its usual backoff. Whatever the tool writes meanwhile waits in its socket and reaches the
# device, all at once, when a retransmission gets through after the cable is back.
#
# The tool runs on a virtual X server; xdotool types the device's address, presses Connect and
# "Realtime Monitoring ON" (one read a second). A capture on the device's side decodes the
# Modbus TCP stream the device receives (reassembled by TCP sequence number, so a request sent
# twice counts once and several requests in one segment count each) and reports:
#   - the reads during normal monitoring (about one a second),
#   - the burst: the reads that arrive back to back when the connection comes back, that is
#     the requests that piled up while the cable was out,
#   - whether monitoring then goes on at about one read a second.
# It fails when the burst holds more than 2 requests or monitoring does not recover.
#
#   scripts/cable-check.sh                  # the cable out for 120 s: 3 to 5 minutes in all
#   PULL_SECONDS=30 scripts/cable-check.sh  # a shorter pull
#
# Settings, from the environment:
#   PULL_SECONDS (120)     how long the cable is out; past about 15 minutes of retransmitting
#                          Linux gives the connection up (tcp_retries2), and that is another test
#   NORMAL_SECONDS (10)    monitoring watched before the pull
#   RESTORE_WAIT (180)     how long to wait, once the cable is back, for the device to hear from
#                          the tool: the retransmission backoff reaches up to 2 minutes
#   RECOVERY_SECONDS (10)  monitoring watched after the burst
#   BURST_GAP (0.1)        a read closer than this to the one before belongs to the burst: the
#                          queued reads come within a millisecond, the tool's next own read on
#                          its one-second tick
#   CABLE_NET (10.200.0)   the /24 of the test network; pick another if that one is in use here
#   BUILD_DIR (build-release)
# The capture stays in BUILD_DIR/cable-check.pcap. Needs root, or sudo, for the namespaces.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

if [ "$(id -u)" -ne 0 ]; then
    exec sudo --preserve-env=PULL_SECONDS,NORMAL_SECONDS,RESTORE_WAIT,RECOVERY_SECONDS,BURST_GAP,CABLE_NET,BUILD_DIR "$0" "$@"
fi

pull_seconds="${PULL_SECONDS:-120}"
normal_seconds="${NORMAL_SECONDS:-10}"
restore_wait="${RESTORE_WAIT:-180}"
recovery_seconds="${RECOVERY_SECONDS:-10}"
burst_gap="${BURST_GAP:-0.1}"
net="${CABLE_NET:-10.200.0}"
host_addr="$net.1"
device_addr="$net.2"
max_burst=2

scripts/install-deps.sh cable

build="${BUILD_DIR:-$here/build-release}"
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target modbus-tcp modbus-sim

# Fixed names, so that a rerun first clears what a killed run left behind.
device_ns=modbus-cable-device
switch_ns=modbus-cable-switch
host_if=mbcable0
capture="$build/cable-check.pcap"
work="$(mktemp -d)"
pids=()
napping=""
cleanup() {
    local pid
    for pid in $napping "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    ip netns del "$device_ns" 2>/dev/null || true
    ip netns del "$switch_ns" 2>/dev/null || true
    ip link del "$host_if" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# A wait that a signal cuts short: bash runs a trap only once the command in the foreground
# has ended, which for a plain sleep can be minutes.
pause() {
    sleep "$1" &
    napping=$!
    wait $napping
    napping=""
}
now() { date +%s.%N; }
say() { printf '%(%T)T  %s\n' -1 "$*"; }
fail_setup() {
    echo "cable-check: $*: the check cannot show anything" >&2
    exit 2
}

ip netns del "$device_ns" 2>/dev/null || true
ip netns del "$switch_ns" 2>/dev/null || true
ip link del "$host_if" 2>/dev/null || true

# The network: the tool's PC (this namespace), a switch, and the device behind it.
ip netns add "$switch_ns"
ip netns add "$device_ns"
ip -n "$switch_ns" link add switch type bridge
ip link add "$host_if" type veth peer name to-host netns "$switch_ns"
ip -n "$device_ns" link add eth0 type veth peer name to-device netns "$switch_ns"
for port in to-host to-device; do
    ip -n "$switch_ns" link set "$port" master switch up
done
ip -n "$switch_ns" link set switch up
ip addr add "$host_addr/24" dev "$host_if"
ip link set "$host_if" up
ip -n "$device_ns" addr add "$device_addr/24" dev eth0
ip -n "$device_ns" link set eth0 up
ip -n "$device_ns" link set lo up

# The capture: every TCP segment of port 502 on the device's wire, written as it comes.
rm -f "$capture"
ip netns exec "$device_ns" tcpdump -i eth0 -U -Z root -w "$capture" 'tcp port 502' \
    2>"$work/tcpdump.log" &
pids+=($!)
ip netns exec "$device_ns" "$build/sim/modbus-sim" --host "$device_addr" --port 502 \
    >"$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    grep -q 'listening on' "$work/tcpdump.log" && grep -q 'listening on' "$work/sim.log" && break
    sleep 0.1
done
grep -q 'listening on' "$work/tcpdump.log" || fail_setup "tcpdump did not start: $(cat "$work/tcpdump.log")"
grep -q 'listening on' "$work/sim.log" || fail_setup "modbus-sim did not start: $(cat "$work/sim.log")"

# Decodes the capture: the Modbus TCP stream in each direction of each connection, put
# together by sequence number as the device's TCP delivers it. Prints one line per whole
# Modbus TCP frame, "request TIME FC" (to the device) or "reply TIME FC" (from it), TIME
# being when its last byte reached the wire, and "connect TIME" for each connection the
# tool opens.
cat >"$work/decode.py" <<'PY'
import struct, sys

def packets(path):
    data = open(path, 'rb').read()
    if len(data) < 24:
        return
    magic = data[:4]
    order = '<' if magic in (b'\xd4\xc3\xb2\xa1', b'\x4d\x3c\xb2\xa1') else '>'
    fraction = 1e9 if magic in (b'\x4d\x3c\xb2\xa1', b'\xa1\xb2\x3c\x4d') else 1e6
    linktype = struct.unpack(order + 'I', data[20:24])[0]
    offset = 24
    while offset + 16 <= len(data):
        seconds, part, length, _ = struct.unpack(order + 'IIII', data[offset:offset + 16])
        frame = data[offset + 16:offset + 16 + length]
        if len(frame) < length:
            return  # the record tcpdump is writing right now
        offset += 16 + length
        if linktype == 1:       # Ethernet
            ethertype, ip = struct.unpack('!H', frame[12:14])[0], frame[14:]
        elif linktype == 113:   # Linux cooked capture
            ethertype, ip = struct.unpack('!H', frame[14:16])[0], frame[16:]
        else:
            sys.exit('unknown link type %d' % linktype)
        if ethertype != 0x0800 or ip[9] != 6:
            continue
        header = (ip[0] & 15) * 4
        total = struct.unpack('!H', ip[2:4])[0]
        tcp = ip[header:total]
        sport, dport, seq = struct.unpack('!HHI', tcp[:8])
        yield (seconds + part / fraction, (ip[12:16], sport, ip[16:20], dport),
               seq, tcp[13], tcp[(tcp[12] >> 4) * 4:])

streams = {}
for time, key, seq, flags, payload in packets(sys.argv[1]):
    direction = 'request' if key[3] == 502 else 'reply'
    if flags & 0x02:  # SYN: the stream starts at the next sequence number
        streams[key] = {'base': seq + 1, 'next': 0, 'held': {}, 'bytes': b''}
        if direction == 'request':
            print('connect %.6f' % time)
        continue
    if not payload:
        continue
    stream = streams.setdefault(key, {'base': seq, 'next': 0, 'held': {}, 'bytes': b''})
    start = (seq - stream['base']) % 2**32
    if start + len(payload) <= stream['next']:
        continue  # bytes the device already has
    if len(payload) > len(stream['held'].get(start, b'')):
        stream['held'][start] = payload
    # Deliver what now follows on without a gap.
    moved = True
    while moved:
        moved = False
        for start, chunk in list(stream['held'].items()):
            if start + len(chunk) <= stream['next']:
                del stream['held'][start]
            elif start <= stream['next']:
                stream['bytes'] += chunk[stream['next'] - start:]
                stream['next'] = start + len(chunk)
                del stream['held'][start]
                moved = True
    # Whole Modbus TCP frames: 7-byte MBAP header whose length field counts the unit
    # identifier and the PDU; the function code follows the header.
    buffer = stream['bytes']
    while len(buffer) >= 8:
        size = 6 + struct.unpack('!H', buffer[4:6])[0]
        if len(buffer) < size:
            break
        print('%s %.6f %d' % (direction, time, buffer[7]))
        buffer = buffer[size:]
    stream['bytes'] = buffer
PY
decode() { /usr/bin/python3 "$work/decode.py" "$capture"; }
# The reads (function code 3) that reached the device at or after $1 and before $2.
reads_between() {
    decode | awk -v from="$1" -v to="$2" '$1 == "request" && $3 == 3 && $2 >= from && $2 < to' | wc -l
}

# The tool, on a virtual X server of its own.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail_setup "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"
# No session bus: none is needed, and none is started on the side.
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" QT_QPA_PLATFORM=xcb \
    "$build/src/modbus-tcp" >"$work/tool.log" 2>&1 &
tool=$!
pids+=($tool)
wid="$(timeout 20 xdotool search --sync --name '^Modbus TCP$' | head -n 1)" ||
    fail_setup "the tool's window did not appear: $(cat "$work/tool.log")"
sleep 1
xdotool windowfocus --sync "$wid"
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep "$3"; }
click 100 49 0.5                 # the address box
xdotool key ctrl+a type "$device_addr"
click 56 88 3                    # Connect
decode | grep -q '^connect' || fail_setup "the tool did not connect to $device_addr"
click 100 264 0                  # Realtime Monitoring ON
started="$(now)"
for _ in $(seq 50); do
    [ "$(reads_between "$started" 9e9)" -gt 0 ] && break
    sleep 0.1
done
[ "$(reads_between "$started" 9e9)" -gt 0 ] || fail_setup "no read reached the device after Realtime Monitoring ON"
say "monitoring: the reads reach the device"

normal_from="$(now)"
pause "$normal_seconds"
normal_to="$(now)"
normal="$(reads_between "$normal_from" "$normal_to")"
say "normal monitoring: $normal reads in $normal_seconds s"
[ "$normal" -gt 0 ] || fail_setup "no reads during normal monitoring"

ip -n "$switch_ns" link set to-device down
pulled="$(now)"
say "cable pulled for $pull_seconds s"
pause "$pull_seconds"
ip -n "$switch_ns" link set to-device up
restored="$(now)"
through="$(reads_between "$pulled" "$restored")"
[ "$through" -eq 0 ] || fail_setup "$through reads reached the device with the cable pulled"
say "cable back; waiting up to $restore_wait s for the device to hear from the tool"

# The burst: the first read after the cable came back and every read that follows the one
# before it by less than BURST_GAP. Then the reads of the RECOVERY_SECONDS after the burst.
# Sets first (empty while no read came), burst, burst_end and after.
measure() {
    decode | awk -v from="$restored" '$1 == "request" && $3 == 3 && $2 >= from { print $2 }' \
        >"$work/after-restore"
    first="$(head -n 1 "$work/after-restore")"
    burst=0 burst_end="" after=0
    [ -n "$first" ] || return 0
    read -r burst burst_end < <(awk -v g="$burst_gap" '
        NR == 1 || $1 - last < g { n++; last = $1; next } { exit } END { print n, last }' \
        "$work/after-restore")
    after="$(awk -v from="$burst_end" -v r="$recovery_seconds" '$1 > from && $1 <= from + r' \
        "$work/after-restore" | wc -l)"
}
# Waits for the first read, then until RECOVERY_SECONDS have passed after the burst.
deadline=$(( ${restored%.*} + restore_wait ))
heard=""
while :; do
    measure
    if [ -n "$first" ] && [ -z "$heard" ]; then
        heard=1
        say "the device hears from the tool again," \
            "$(awk -v a="$restored" -v b="$first" 'BEGIN { printf "%.1f", b - a }') s after the cable came back"
    fi
    if [ -n "$first" ]; then
        awk -v e="$burst_end" -v r="$recovery_seconds" -v t="$(now)" 'BEGIN { exit !(t > e + r + 1) }' && break
    elif [ "$(date +%s)" -ge "$deadline" ]; then
        break
    fi
    pause 1
done
kill -0 "$tool" 2>/dev/null || fail_setup "the tool ended: $(cat "$work/tool.log")"
if [ -n "$first" ]; then
    echo "reads after the cable came back, in s from the first" \
        "($(awk -v f="$first" '$1 < f + 1' "$work/after-restore" | wc -l) in the first second):"
    awk -v f="$first" 'NR > 40 { exit } { printf "  %+.3f", $1 - f } NR % 8 == 0 { print "" }
        END { if (NR % 8 && NR < 40) print "" }' "$work/after-restore"
fi
replies="$(decode | awk -v from="$restored" '$1 == "reply" && $2 >= from' | wc -l)"
connections="$(decode | grep -c '^connect' || true)"
rate="$(awk -v n="$after" -v r="$recovery_seconds" 'BEGIN { printf "%.1f", n / r }')"
recovered=0
awk -v n="$after" -v r="$recovery_seconds" 'BEGIN { exit !(n / r >= 0.7 && n / r <= 1.5) }' && recovered=1

echo "capture: $capture ($connections connection(s); $replies replies from the device after the cable came back)"
verdict=PASS
reasons=()
if [ -z "$first" ]; then
    reasons+=("no read reached the device within $restore_wait s of the cable coming back")
else
    [ "$burst" -le "$max_burst" ] || reasons+=("burst of $burst queued reads, more than $max_burst")
fi
[ "$recovered" -eq 1 ] || reasons+=("monitoring did not go on at about one read a second")
[ ${#reasons[@]} -eq 0 ] || verdict="FAIL ($(IFS=';'; echo "${reasons[*]}" | sed 's/;/; /g'))"
echo "cable-check: normal $normal reads in $normal_seconds s; cable out $pull_seconds s;" \
    "burst of $burst reads when it came back; then $after reads in $recovery_seconds s ($rate/s): $verdict"
[ "$verdict" = PASS ]
