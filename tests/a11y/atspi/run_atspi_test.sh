#!/usr/bin/env bash
# The window read through the real accessibility bus: a session bus of its own, the AT-SPI
# bus and registry, a virtual display, a simulated unit, the program connected to it, and
# read_window.py reading every control as a screen reader does.
#   run_atspi_test.sh QUELLATON QUELLATON_CLI QUELLATON_UNIT_SIM
set -euo pipefail

if [ "${1:-}" != --inside ]; then
    # A session bus for this test alone; everything below runs inside it.
    exec dbus-run-session -- "$0" --inside "$@"
fi
shift
program=$1
cli=$2
sim=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The unit, and what the window will show of it: its working set, its status and its second
# preset (recalled later), as quellaton-cli prints them.
"$sim" --link "$work/line" --ids 1 --state "$work/units.state" >"$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$work/sim.out" 2>/dev/null && break; sleep 0.05; done
"$cli" read --port "$work/line" --id 1 -o "$work/unit.sps"
"$cli" show --json "$work/unit.sps" >"$work/show.json"
"$cli" status --json --port "$work/line" --id 1 >"$work/status.json"
slot2=$(sed -n 's/^unit 1 slot 2 //p' "$work/units.state")
printf 'A5A5A500520028000140%s00AA\r\n' "$slot2" >"$work/slot2.sps"
"$cli" show --json "$work/slot2.sps" >"$work/recalled.json"

# A virtual display, the accessibility bus, and the program with accessibility on.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x900x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.out" 2>&1 &
pids+=($!)
display=
read -r -t 20 display <"$work/display" || true
[ -n "$display" ] || { echo "no virtual display" >&2; exit 1; }
export DISPLAY=:$display
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset QT_QPA_PLATFORM # the real display, not offscreen
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/bus.out" 2>&1 &
pids+=($!)
"$program" --only-given-ports --port "$work/line" >"$work/program.out" 2>&1 &
pids+=($!)

status=0
/usr/bin/python3 "$here/read_window.py" "$work/show.json" "$work/status.json" "$work/line" \
    "$work/recalled.json" || status=$?
if [ "$status" -ne 0 ]; then
    echo "--- program output" >&2
    cat "$work/program.out" >&2
fi
exit "$status"
