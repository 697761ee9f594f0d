#!/usr/bin/env bash
# End-to-end run of the real executables under an X server, driven by real X input
# events: a simulated meter on a pty, the utility on that pty as port 1, a table typed
# into the grid, Program Meter pressed, the success message answered; then the device
# pulled away in the middle of a run.
# Usage: x_session.sh BUILD_DIR   (run under xvfb-run)
set -euo pipefail
build=$(cd "$1" && pwd)
app=$build/src/app/talvo-linearizer
sim=$build/tools/meter-sim/talvo-meter-sim
work=$(mktemp -d)
# A private temp and runtime folder: no lock or file shared with a copy the user has open.
export TMPDIR=$work/tmp XDG_RUNTIME_DIR=$work/run
mkdir -p "$TMPDIR" && mkdir -m 700 "$XDG_RUNTIME_DIR"
pids=()
stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; } # and reap it
cleanup() { for p in "${pids[@]}"; do stop "$p"; done; rm -rf "$work"; }
trap cleanup EXIT
title="Talvo Series - Multi-Point Linearization Utility"
fail() { echo "FAIL: $*"; [ -n "${E2E_SHOT:-}" ] && import -window root "$E2E_SHOT"; for f in "$work"/*.log; do echo "--- $f"; grep -v "^<SOH>" "$f" | tail -15; done; exit 1; }

start_meter() { # start_meter LOG [options]: sets $meter_pid and $pty
  local log=$1; shift
  : >"$log" # read below before the program may have opened it
  "$sim" "$@" >"$log" 2>&1 &
  meter_pid=$!; pids+=("$meter_pid")
  for _ in $(seq 100); do
    pty=$(sed -n 's/^Simulated meter on \(\/dev\/[^ ]*\)$/\1/p' "$log")
    [ -n "$pty" ] && return 0
    sleep 0.05
  done
  fail "the simulated meter did not start"
}

windows() { xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null || true; }
wait_windows() { # wait_windows COUNT
  for _ in $(seq 200); do
    [ "$(windows | wc -l)" -ge "$1" ] && return 0
    sleep 0.05
  done
  fail "expected $1 window(s) named \"$title\""
}
newest_window() { windows | tail -1; }
other_window() { windows | grep -vx "$main" | head -1; }

# Clicks at window-client coordinates: the menu bar sits above the 708 x 455 client area.
click_at() {
  local x=$1 y=$2 geo wx wy h
  geo=$(xdotool getwindowgeometry --shell "$main")
  wx=$(sed -n 's/^X=//p' <<<"$geo"); wy=$(sed -n 's/^Y=//p' <<<"$geo"); h=$(sed -n 's/^HEIGHT=//p' <<<"$geo")
  xdotool mousemove --sync $((wx + x)) $((wy + h - 455 + y)) click 1
}

start_meter "$work/sim.log"
"$app" --port "1=$pty" >"$work/app.log" 2>&1 &
app_pid=$!; pids+=("$app_pid")
wait_windows 1
main=$(newest_window)
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
sleep 0.3

# Point 1: 2 mA shown as 2.000; point 2: 18 mA shown as 18.000 (grid input column of row 0).
click_at 447 144
sleep 0.2
for v in 2 2 18 18; do xdotool type --delay 40 "$v"; xdotool key Return; sleep 0.15; done

click_at 352 384 # Program Meter
wait_windows 2
box=$(other_window)
sleep 0.2
xdotool windowactivate --sync "$box" 2>/dev/null || true
xdotool windowfocus --sync "$box" 2>/dev/null || true; xdotool key Return
for _ in $(seq 100); do [ "$(windows | wc -l)" -eq 1 ] && break; sleep 0.05; done

commands=$(sed -n 's/^.* -> 001 \([^ ]*\) (.*$/\1/p' "$work/sim.log" | tr '\n' ' ')
expected="F189 38001 201130 37P3 48L02 2A3012000 2A30218000 2A1012000 2A10218000 33I "
[ "$commands" = "$expected" ] || fail "commands on the wire: \"$commands\", expected \"$expected\""
echo "ok: programming run sent: $commands"

# The device vanishes while the utility waits for a reply.
stop "$meter_pid"
start_meter "$work/sim2.log" --latency 1500
stop "$app_pid"
"$app" --port "1=$pty" >"$work/app2.log" 2>&1 &
app_pid=$!; pids+=("$app_pid")
for _ in $(seq 100); do [ "$(windows | wc -l)" -eq 1 ] && break; sleep 0.05; done
wait_windows 1
main=$(newest_window)
xdotool windowactivate --sync "$main" 2>/dev/null || true
sleep 0.3
click_at 352 384
for _ in $(seq 100); do grep -q 'F189' "$work/sim2.log" && break; sleep 0.05; done
grep -q 'F189' "$work/sim2.log" || fail "the firmware query did not reach the meter"
stop "$meter_pid" # closes the pty master
wait_windows 2
box=$(other_window)
xdotool windowfocus --sync "$box" 2>/dev/null || true; xdotool key Return
for _ in $(seq 100); do [ "$(windows | wc -l)" -eq 1 ] && break; sleep 0.05; done
kill -0 "$app_pid" || fail "the utility ended after the device vanished"
[ "$(windows | wc -l)" -eq 1 ] || fail "the message box did not close"
# The window is still usable: About opens and closes.
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key alt+a
about=$(timeout 10 xdotool search --sync --onlyvisible --name '^About$' | head -1) || fail "About did not open"
xdotool windowfocus --sync "$about" 2>/dev/null || true; xdotool key Return
for _ in $(seq 100); do xdotool search --onlyvisible --name '^About$' >/dev/null 2>&1 || break; sleep 0.05; done
echo "ok: device pulled away mid-run ended the run with a message; the window stays usable"
echo "1 passed, 0 failed"
