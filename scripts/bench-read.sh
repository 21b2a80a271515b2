#!/usr/bin/env bash
# Read benchmark (not a test). Under Wine on a bench of its own, runs ReadBench.exe: the real
# Pesora.exe reads a virtual scale; prints the delay from the scale changing its report to the
# Weight box showing it (median, p90, worst over CHANGES changes), how often the box read empty,
# and Pesora's CPU time per minute of reading beside MinimalWindow.exe idle (the floor); with
# WEB_PORT set, also the CPU time of a copy whose web endpoint is on and has no client; and for
# hands-free send the delay from a placement's stable report to the weight typed, beyond SettleMs.
# ON_CHANGE=1 gives a scale that reports only when its weight changes (idle while the CPU time
# is taken). BASELINE=<another Pesora.exe> has a copy of it read a scale of its own over the same
# span, its CPU time printed beside this build's: CPU time here drifts by a factor of two within
# an hour, so two builds are compared side by side. Then SerialReadBench.exe: the same delay for
# a streaming and a polled virtual serial scale at SampleRate 50 and 200, with Pesora's CPU time
# while it reads them (SERIAL=0 skips it, SERIAL=only runs only it; SERIAL_CHANGES changes each).
# The CPU times are taken over 60 s: on this kind of machine 20 s samples of the same build scatter
# by a factor of three.
#   scripts/bench-read.sh                          (after scripts/build.sh)
#   BASELINE=<exe> CHANGES=200 CPU_SECONDS=60 SCALE_INTERVAL=50 SAMPLE_RATE=50 ON_CHANGE=0 PLACEMENTS=20 SETTLE_MS=0 WEB_PORT=0 PESORA_WIN_DIR=<dir> scripts/bench-read.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${PESORA_WIN_DIR:-$root/build/win}
# The benchmark programs are built on demand, not with the tests.
[ -f "$win/CMakeCache.txt" ] || "$root/scripts/build.sh"
cmake --build "$win" --target Pesora MinimalWindow ReadBench SerialReadBench >/dev/null
export PESORA_WIN_DIR=$win
export BENCH_DIR=${BENCH_DIR:-$(mktemp -d /tmp/pesora-bench-read.XXXXXX)}
bench=$root/testbench/bench.sh
trap '"$bench" stop' EXIT
"$bench" start
serial=${SERIAL:-1}
baseline=()
if [ -n "${BASELINE:-}" ]; then
  # Wine's Z: drive is the host's root.
  baseline=("Z:$(realpath "$BASELINE" | tr / '\\')")
fi
[ "$serial" = only ] || "$bench" run ReadBench.exe "${CHANGES:-200}" "${CPU_SECONDS:-60}" "${SCALE_INTERVAL:-50}" "${SAMPLE_RATE:-50}" "${ON_CHANGE:-0}" "${PLACEMENTS:-20}" "${SETTLE_MS:-0}" "${WEB_PORT:-0}" "${baseline[@]}"
[ "$serial" = 0 ] || "$bench" run SerialReadBench.exe "${SERIAL_CHANGES:-100}" "${CPU_SECONDS:-60}"
