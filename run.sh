#!/usr/bin/env bash
# Installs what is missing, builds a Release build in build/ and starts the recorder.
set -euo pipefail
cd "$(dirname "$0")"
./tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build
exec ./build/bin/quorvane-recorder "$@"
