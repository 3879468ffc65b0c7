#!/usr/bin/env bash
# Runs bench_record on a private Xvfb with a 1920x1080 screen.
#   bench/run_bench_record.sh [build-dir] [display-number] [seconds]
set -euo pipefail
build="${1:-build}"
num="${2:-98}"
seconds="${3:-10}"
Xvfb ":$num" -nolisten tcp -screen 0 1920x1080x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb"' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$num" ] && break; sleep 0.1; done
DISPLAY=":$num" "$build/bin/bench_record" "$seconds"
