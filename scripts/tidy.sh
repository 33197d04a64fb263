#!/usr/bin/env bash
# clang-tidy (the checks in .clang-tidy) over the program's own sources, with
# the compile commands of a configured build (build-tidy/, or the folder
# given; only configured, nothing is built). Exits non-zero on any warning.
# Usage: scripts/tidy.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tidy}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
mapfile -t sources < <(git ls-files 'app/*.cpp' 'cli/*.cpp' 'db/*.cpp' 'download/*.cpp' 'formats/*.cpp' \
  'link/*.cpp' 'platform/*.cpp' 'sim/*.cpp' 'view/*.cpp' 'res/*.cpp')
out=$(mktemp)
trap 'rm -f "$out"' EXIT
run-clang-tidy-14 -quiet -p "$build" -j "$(nproc)" \
  -header-filter="^$PWD/(app|cli|db|download|formats|link|platform|sim|view|res)/" "${sources[@]}" \
  >"$out" 2>&1 || true
sed 's/\x1b\[[0-9;]*m//g' "$out" | grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error):' |
  sed "s|^$PWD/||" | sort -u >"$out.found" || true
if [ -s "$out.found" ]; then
  cat "$out.found"
  echo "$(wc -l <"$out.found") clang-tidy findings" >&2
  rm -f "$out.found"
  exit 1
fi
rm -f "$out.found"
echo "clang-tidy: no findings"
