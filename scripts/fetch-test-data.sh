#!/usr/bin/env bash
# Fetches into <build dir>/testdata the test files no tool here can write:
# fruit.mdb, a small Access (Jet 4) file published in the npm package mdb
# 0.1.0. Without npm or a network nothing is fetched and the tests that need
# the file say that they were skipped.
set -uo pipefail
cd "$(dirname "$0")/.."
dir="${1:-${ZQ_BUILD_DIR:-build}}/testdata"
sha256=e62eac8a7d29062328484aa0477ab897f3e9fb3abbd4de26d2e7748a8e0bce79
mkdir -p "$dir"
if [ -s "$dir/fruit.mdb" ] && echo "$sha256  $dir/fruit.mdb" | sha256sum -c --status; then
  exit 0
fi
if ! command -v npm >/dev/null; then
  echo "fetch-test-data: npm is not installed; tests on fruit.mdb will be skipped" >&2
  exit 0
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if (cd "$tmp" && npm pack --silent mdb@0.1.0 >/dev/null 2>&1 &&
    tar xzf mdb-0.1.0.tgz --no-same-owner package/test/fruit.mdb) &&
   echo "$sha256  $tmp/package/test/fruit.mdb" | sha256sum -c --status; then
  mv "$tmp/package/test/fruit.mdb" "$dir/fruit.mdb"
else
  echo "fetch-test-data: fruit.mdb could not be fetched; tests on it will be skipped" >&2
fi
exit 0
