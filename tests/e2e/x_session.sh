#!/usr/bin/env bash
# End-to-end run of the real executables under an X server, driven by real X input
# events: a simulated meter on a pty, the utility on that pty as port 1, a table typed
# into the grid, Program Meter pressed, the success message answered; then the device
# pulled away in the middle of a run. It runs under the Openbox window manager, which frames
# windows and places them: the curve window must still open beside the main window, fully
# on the screen, and the focus must come back after a dialog closed with Escape.
# Usage: x_session.sh UTILITY SIMULATOR   (the two executables; run under xvfb-run)
set -euo pipefail
app=$(realpath "$1")
sim=$(realpath "$2")
work=$(mktemp -d)
# A private temp, runtime, data and state folder: no lock, history or file shared with a copy the user has open.
export TMPDIR=$work/tmp XDG_RUNTIME_DIR=$work/run XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state
unset TALVO_HISTORY
mkdir -p "$TMPDIR" && mkdir -m 700 "$XDG_RUNTIME_DIR"
pids=()
stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; } # and reap it
cleanup() { for p in "${pids[@]}"; do stop "$p"; done; rm -rf "$work"; }
trap cleanup EXIT
title="Talvo Series - Multi-Point Linearization Utility"
fail() { echo "FAIL: $*"; [ -n "${E2E_SHOT:-}" ] && command -v import >/dev/null && import -window root "$E2E_SHOT"; for f in "$work"/*.log; do echo "--- $f"; grep -v "^<SOH>" "$f" | tail -15; done; exit 1; }

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
# Waits for a window named exactly $1 and prints its id. (xdotool search --sync can end on a
# window that vanishes while it looks, as a menu's does.)
wait_named() {
  local w
  for _ in $(seq 400); do
    w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.05
  done
  return 1
}
other_window() { windows | grep -vx "$main" | head -1; }

# A window's place on the screen, "X Y W H" (xwininfo: xdotool's position counts a window
# manager's frame twice).
client_of() {
  local info
  info=$(xwininfo -id "$1")
  echo "$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info") $(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")" \
    "$(sed -n 's/^ *Width: *//p' <<<"$info") $(sed -n 's/^ *Height: *//p' <<<"$info")"
}
# Clicks at window-client coordinates: the menu bar sits above the 708 x 455 client area.
click_at() {
  local wx wy w h
  read -r wx wy w h < <(client_of "$main")
  xdotool mousemove --sync $((wx + $1)) $((wy + h - 455 + $2)) click 1
}

# The window manager: up once the root window names it.
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=("$!")
for _ in $(seq 200); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.05; done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"

# A window's frame as the window manager drew it: "X Y W H" on the screen.
frame_of() {
  local x y w h l r t b
  read -r x y w h < <(client_of "$1")
  IFS=, read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
  echo "$((x - ${l:-0})) $((y - ${t:-0})) $((w + ${l:-0} + ${r:-0})) $((h + ${t:-0} + ${b:-0}))"
}
# Waits until the focused window is $1 (the window manager's focus, as a user has it).
focus_is() {
  for _ in $(seq 100); do [ "$(xdotool getwindowfocus -f 2>/dev/null)" = "$1" ] && return 0; sleep 0.05; done
  return 1
}

start_meter "$work/sim.log"
"$app" --port "1=$pty" >"$work/app.log" 2>&1 &
app_pid=$!; pids+=("$app_pid")
wait_windows 1
main=$(newest_window)
# On the right of the screen, so that the curve window has room on the left.
xdotool windowmove --sync "$main" 560 30 2>/dev/null || true
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
sleep 0.3

# The first cell opened, then File > Open Settings left with Escape: the window has the
# keyboard again and the digits typed next land in the cell.
click_at 447 144
sleep 0.2
xdotool key alt+f Return
wait_named "User Settings" >/dev/null || fail "Open Settings showed no file dialog"
xdotool key Escape
for _ in $(seq 100); do xdotool search --onlyvisible --name '^User Settings$' >/dev/null 2>&1 || break; sleep 0.05; done
focus_is "$main" || fail "no keyboard focus in the main window after Escape from the file dialog"
echo "ok: the focus came back after Escape from a file dialog"

# Point 1: 2 mA shown as 2.000; point 2: 18 mA shown as 18.000 (grid input column of row 0).
for v in 2 2 18 18; do xdotool type --delay 40 "$v"; xdotool key Return; sleep 0.15; done

# The curve window: beside the main window, clear of its table, wholly on the screen, and
# the focus stays in the main window.
xdotool key ctrl+l
curve=$(wait_named "Linearization Curve") || fail "the curve window did not open"
read -r sw sh < <(xdotool getdisplaygeometry)
placed=""
for _ in $(seq 100); do # until the window manager has framed and placed it
  read -r cx cy cw ch < <(frame_of "$curve")
  read -r mx my mw mh < <(frame_of "$main")
  read -r tx ty _ th < <(client_of "$main")
  tx=$((tx + 368)); ty=$((ty + th - 455 + 80)) # the table block, "Number of Points"
  if [ "$cx" -ge 0 ] && [ "$cy" -ge 0 ] && [ $((cx + cw)) -le "$sw" ] && [ $((cy + ch)) -le "$sh" ] &&
     { [ $((cx + cw)) -le "$tx" ] || [ "$cx" -ge $((tx + 321)) ] || [ $((cy + ch)) -le "$ty" ] || [ "$cy" -ge $((ty + 257)) ]; }; then
    placed="$cx,$cy ${cw}x$ch"; break
  fi
  sleep 0.1
done
[ -n "$placed" ] || fail "curve window frame at $cx,$cy ${cw}x$ch: off the ${sw}x$sh screen or over the table at $tx,$ty"
focus_is "$main" || fail "opening the curve window took the focus"
echo "ok: curve window framed at $placed, main window at $mx,$my ${mw}x$mh"

# Save Image... in the curve window, left with Escape: the curve window has the focus again.
xdotool windowactivate --sync "$curve" 2>/dev/null || true
focus_is "$curve" || fail "the curve window could not be activated"
xdotool key space
wait_named "Save Image" >/dev/null || fail "Save Image... showed no file dialog"
xdotool key Escape
for _ in $(seq 100); do xdotool search --onlyvisible --name '^Save Image$' >/dev/null 2>&1 || break; sleep 0.05; done
focus_is "$curve" || fail "no keyboard focus in the curve window after Escape from Save Image"
echo "ok: the focus came back to the curve window"
xdotool windowactivate --sync "$main" 2>/dev/null || true
focus_is "$main" || fail "the main window could not be activated"

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
about=$(wait_named "About") || fail "About did not open"
xdotool windowfocus --sync "$about" 2>/dev/null || true; xdotool key Return
for _ in $(seq 100); do xdotool search --onlyvisible --name '^About$' >/dev/null 2>&1 || break; sleep 0.05; done
echo "ok: device pulled away mid-run ended the run with a message; the window stays usable"
echo "1 passed, 0 failed"
