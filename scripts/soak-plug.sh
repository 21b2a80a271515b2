#!/usr/bin/env bash
# Soak of the scale's unplug and return: on a started bench (testbench/bench.sh start), unplugs and
# plugs the scale Pesora reads ITERATIONS times (default 200, about 2.7 s a round) and prints
# whether reading resumed every time, and the Pesora process's open file descriptors (the
# handles Wine backs with host files, since GetProcessHandleCount gives 0 under Wine), threads
# and resident memory before and after.
#   BENCH_DIR=... PESORA_WIN_DIR=<windows build> scripts/soak-plug.sh [ITERATIONS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
: "${PESORA_WIN_DIR:?PESORA_WIN_DIR must name the Windows build folder}"
: "${BENCH_DIR:?BENCH_DIR must name a started bench}"
export PESORA_SOAK_ITERATIONS=${1:-200}
prog=$PESORA_WIN_DIR/e2e-bin/devices_soak_plug.exe
cmake --build "$PESORA_WIN_DIR" --target devices_soak_plug >/dev/null  # built on demand, not with the tests
eval "$("$root/testbench/bench.sh" env)"

out=$(mktemp "$BENCH_DIR/soak.XXXXXX")
# Wine's first command of a session hands its stdout to its services: always a file.
wine "$prog" >"$out" 2>&1 </dev/null &
runner=$!

# The Pesora copy the soak starts, as a host process (its exe name is the soak's own).
pesora_pid() { pgrep -f 'C:\\e2e\\devices-Soak\\Soak.exe' | head -1; }
sample() {
  local pid; pid=$(pesora_pid)
  [ -n "$pid" ] || { echo "no Pesora process"; return; }
  printf 'fds %s, threads %s, rss %s kB\n' "$(ls "/proc/$pid/fd" | wc -l)" \
    "$(awk '/^Threads:/ {print $2}' "/proc/$pid/status")" "$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")"
}
wait_for() { while kill -0 "$runner" 2>/dev/null && ! grep -q "$1" "$out"; do sleep 0.5; done; }

wait_for 'phase: start'
before=$(sample)
wait_for 'phase: end'
after=$(sample)
rc=0
wait "$runner" || rc=$?
tr -d '\r' <"$out" | grep -E '^(round|rounds|\[  (PASSED|FAILED))' || true
echo "Pesora before: $before"
echo "Pesora after:  $after"
rm -f "$out"
exit $rc
