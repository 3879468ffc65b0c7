#!/usr/bin/env bash
# Runs bench_grab on a private Xvfb with a 1280x1024 and a 1920x1080 screen.
#   bench/run_bench_grab.sh [build-dir] [display-number] [rounds]
set -euo pipefail
build="${1:-build}"
num="${2:-99}"
rounds="${3:-100}"
Xvfb ":$num" -nolisten tcp -screen 0 1280x1024x24 -screen 1 1920x1080x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb"' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$num" ] && break; sleep 0.1; done
DISPLAY=":$num" "$build/bin/bench_grab" "$rounds"
