#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (or
# $ZQ_FUZZ_BUILD_DIR) and runs each from its saved corpus for a while, the
# targets side by side. Any crash, hang or broken invariant fails the run; the
# input that did it is kept in the build folder under fuzz-artifacts/.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   (default 60 s, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-ci-deps.sh
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_download fuzz_dbfile fuzz_userscsv fuzz_mdbtools fuzz_servervalue)
build=${ZQ_FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DZQ_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/cmake/lsan.supp:print_suppressions=0
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pids=()
for t in "${targets[@]}"; do
  # New inputs go to a scratch folder; the saved corpus is only read.
  mkdir -p "$work/$t"
  max_len=$([ "$t" = fuzz_download ] && echo 28000 || echo 65536)
  "$build/tests/fuzz/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$artifacts/$t-" \
    "$work/$t" "tests/fuzz/corpus/$t" >"$work/$t.log" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
  t=${targets[$i]}
  if wait "${pids[$i]}"; then
    echo "$t: no failure in $seconds s ($(grep -o 'stat::number_of_executed_units: *[0-9]*' \
      "$work/$t.log" | grep -o '[0-9]*$') inputs)"
  else
    status=1
    echo "$t FAILED; the last lines of its log:" >&2
    tail -n 60 "$work/$t.log" >&2
  fi
done
exit $status
