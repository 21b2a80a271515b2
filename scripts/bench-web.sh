#!/usr/bin/env bash
# Web endpoint benchmark (not a test). Under Wine on a bench of its own, runs WebBench.exe: the
# real Pesora.exe reads a virtual scale with its web endpoint on; prints the delay from the scale
# changing its report to the event at a client of /events beside the delay to the Weight box
# (median and worst over CHANGES changes), Pesora's CPU time with ten clients following, and its
# CPU time during a flood of ZERO_REQUESTS POST /zero beside its CPU time while only reading.
#   CHANGES=200 CPU_SECONDS=15 ZERO_REQUESTS=2000 PESORA_WIN_DIR=<dir> scripts/bench-web.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${PESORA_WIN_DIR:-$root/build/win}
# The benchmark programs are built on demand, not with the tests.
[ -f "$win/CMakeCache.txt" ] || "$root/scripts/build.sh"
cmake --build "$win" --target Pesora WebBench >/dev/null
export PESORA_WIN_DIR=$win
export BENCH_DIR=${BENCH_DIR:-$(mktemp -d /tmp/pesora-bench-web.XXXXXX)}
bench=$root/testbench/bench.sh
trap '"$bench" stop' EXIT
"$bench" start
"$bench" run WebBench.exe "${CHANGES:-200}" "${CPU_SECONDS:-15}" "${ZERO_REQUESTS:-2000}"
