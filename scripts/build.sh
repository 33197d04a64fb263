#!/usr/bin/env bash
# Configures and builds into build/ (or $ZQ_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZQ_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=${ZQ_BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build" -j"$(nproc)"
