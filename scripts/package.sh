#!/usr/bin/env bash
# Builds the Debian package zqreader_VERSION_ARCH.deb into build-deb/packages/
# (or $ZQ_BUILD_DIR/packages/).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZQ_BUILD_DIR:-build-deb}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB)
ls "$build"/packages/*.deb
