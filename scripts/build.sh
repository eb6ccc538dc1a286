#!/usr/bin/env bash
# Configures and builds into ./build (or $VELMORA_BUILD).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELMORA_BUILD:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
