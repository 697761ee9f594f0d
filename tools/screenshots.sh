#!/usr/bin/env bash
# Takes the README's screenshots of the real window under Xvfb, against a simulated meter.
# Usage: xvfb-run -a -s "-screen 0 1024x768x24" tools/screenshots.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
out=$2
mkdir -p "$out"
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
title="Talvo Series - Multi-Point Linearization Utility"

"$build/tools/meter-sim/talvo-meter-sim" --latency 400 >"$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do pty=$(sed -n 's/^Simulated meter on //p' "$work/sim.log"); [ -n "$pty" ] && break; sleep 0.05; done
"$build/src/talvo-linearizer" --port "1=$pty" >/dev/null 2>&1 &
pids+=($!)
main=$(timeout 10 xdotool search --sync --onlyvisible --name "^${title}\$" | head -1)
sleep 0.8
eval "$(xdotool getwindowgeometry --shell "$main")"
top=$((Y + HEIGHT - 455))
click() { xdotool mousemove --sync $((X + $1)) $((top + $2)) click 1; sleep 0.3; }
shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$1"; }

shot main-window.png
sleep 0.3

# Voltage input, four points: 0 V -> 0.000, 2.5 V -> 30.000, 5 V -> 55.000, 10 V -> 100.000
click 80 184
click 630 178; xdotool key Down Down Return; sleep 0.3
click 447 144
for v in 0 0 2.5 30 5 55 10 100; do xdotool type --delay 30 "$v"; xdotool key Return; sleep 0.15; done
shot table.png

click 352 384
sleep 0.5
shot programming.png
box=$(timeout 20 bash -c "while :; do for w in \$(xdotool search --onlyvisible --name '^${title}\$'); do [ \"\$w\" != \"$main\" ] && echo \$w && exit 0; done; sleep 0.1; done")
sleep 0.3
shot programmed.png
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Return
