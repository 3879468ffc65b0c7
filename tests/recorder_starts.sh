#!/usr/bin/env bash
# The recorder starts on the X display and keeps running until it is closed.
set -euo pipefail
bin="$1"
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY"; exit 1; }
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
XDG_DATA_HOME="$home" "$bin" >"$home/out.log" 2>&1 &
pid=$!
for _ in $(seq 1 30); do
  sleep 0.1
  kill -0 "$pid" 2>/dev/null || { cat "$home/out.log"; echo "FAIL: the recorder ended by itself"; exit 1; }
done
# It shows a window on the display.
if command -v xdotool >/dev/null; then
  found=""
  for _ in $(seq 1 50); do
    if xdotool search --pid "$pid" >/dev/null 2>&1 || xdotool search --name "Quorvane" >/dev/null 2>&1; then found=1; break; fi
    sleep 0.1
  done
  [ -n "$found" ] || { kill "$pid"; cat "$home/out.log"; echo "FAIL: no window appeared"; exit 1; }
fi
kill -TERM "$pid"
wait "$pid" 2>/dev/null || true
echo "recorder started and showed its window"
