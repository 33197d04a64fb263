#!/usr/bin/env bash
# Checks that every C++ source follows .clang-format; changes nothing. Lists
# the files that differ and exits non-zero when there are any.
set -uo pipefail
cd "$(dirname "$0")/.."
bad=()
while IFS= read -r f; do
  clang-format-14 --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done < <(git ls-files '*.cpp' '*.h')
if [ ${#bad[@]} -gt 0 ]; then
  printf 'not formatted: %s\n' "${bad[@]}"
  exit 1
fi
echo "clang-format: all files formatted"
