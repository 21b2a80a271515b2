#!/usr/bin/env bash
# Start-up benchmark (not a test). Under Wine on this machine, for Pesora.exe and for
# MinimalWindow.exe built the same way (the floor), prints the time from process start to
# the main window being shown, and the CPU time and private memory after ten seconds idle,
# as medians of several runs, with Pesora's figures as ratios of the floor's.
#   scripts/bench-startup.sh            (after scripts/build.sh)
#   RUNS=5 IDLE=10 PESORA_WIN_DIR=<windows build dir> scripts/bench-startup.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${PESORA_WIN_DIR:-$root/build/win}
runs=${RUNS:-3}
idle=${IDLE:-10}
# The benchmark programs are built on demand, not with the tests.
[ -f "$win/CMakeCache.txt" ] || "$root/scripts/build.sh"
cmake --build "$win" --target Pesora MinimalWindow StartupProbe >/dev/null
export PESORA_WIN_DIR=$win
export BENCH_DIR=${BENCH_DIR:-$(mktemp -d /tmp/pesora-bench-startup.XXXXXX)}
bench=$root/testbench/bench.sh
trap '"$bench" stop' EXIT
"$bench" start
eval "$("$bench" env)"
# Both programs from one folder of the prefix; Pesora keeps its settings file as usual.
mkdir -p "$WINEPREFIX/drive_c/bench"
cp "$win/Pesora.exe" "$win/e2e-bin/MinimalWindow.exe" "$WINEPREFIX/drive_c/bench/"

measure() { # program -> lines of figures; the first run only warms Wine's caches
  "$bench" run StartupProbe.exe "C:\\bench\\$1" 1 >/dev/null
  for _ in $(seq "$runs"); do "$bench" run StartupProbe.exe "C:\\bench\\$1" "$idle"; done
}
median() { # field name, lines -> median value
  sed -n "s/.*$1=\([-0-9.]*\).*/\1/p" | sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'
}

echo "measuring MinimalWindow.exe and Pesora.exe, $runs runs each, ${idle} s idle..." >&2
floor=$(measure MinimalWindow.exe)
pesora=$(measure Pesora.exe)
printf '%-28s %12s %12s %8s\n' "figure (median of $runs)" "Pesora" "floor" "ratio"
for f in start_ms cpu_ms private_kb; do
  p=$(printf '%s\n' "$pesora" | median $f)
  m=$(printf '%s\n' "$floor" | median $f)
  case $f in
    start_ms) label="start to window shown (ms)" ;;
    cpu_ms) label="CPU after ${idle} s idle (ms)" ;;
    private_kb) label="private memory (KiB)" ;;
  esac
  ratio=$(awk -v p="$p" -v m="$m" 'BEGIN { if (m > 0) printf "%.2f", p / m; else print "-" }')
  printf '%-28s %12s %12s %8s\n' "$label" "$p" "$m" "$ratio"
done
