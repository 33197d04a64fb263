#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
bash scripts/fetch-test-data.sh "${ZQ_BUILD_DIR:-build}"
# As many at a time as there are cores: most tests wait on a serial line or
# on a process most of the time.
ctest --test-dir "${ZQ_BUILD_DIR:-build}" --output-on-failure -j"$(nproc)"
