#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
bash scripts/fetch-test-data.sh "${ZQ_BUILD_DIR:-build}"
ctest --test-dir "${ZQ_BUILD_DIR:-build}" --output-on-failure
