#!/usr/bin/env bash
# Installs, if missing, what CI needs beyond the build itself: clang with its
# sanitizer and libFuzzer runtimes, clang-tidy and clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang-14 libclang-rt-14-dev clang-tidy-14 clang-format-14
