#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $ZQ_ASAN_BUILD_DIR) and runs every test there; the programs
# the tests start are built the same way and stop at the first report too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${ZQ_ASAN_BUILD_DIR:-build-asan}
# Line tables are all a report needs, and build faster than full debug data.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQ_SANITIZE=ON -DZQ_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
bash scripts/fetch-test-data.sh "$build"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
