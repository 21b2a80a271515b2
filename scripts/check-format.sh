#!/usr/bin/env bash
# Checks every C and C++ file of the tree against the project's .clang-format (Debian's
# clang-format). With --fix it formats them in place instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=0
for f in "${files[@]}"; do
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f" >&2
    bad=$((bad + 1))
  fi
done
if [ "$bad" -ne 0 ]; then
  echo "format: $bad of ${#files[@]} files differ from .clang-format (scripts/check-format.sh --fix)" >&2
  exit 1
fi
echo "format: ${#files[@]} files match .clang-format"
