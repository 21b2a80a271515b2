#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan) into build-fuzz and runs
# each for the given number of seconds (default 600), one after another, printing libFuzzer's
# closing figures. Corpora are kept in build-fuzz/corpus/<target> between runs.
#   scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
seconds=${1:-600}
shift || true
build=$root/build-fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DPESORA_FUZZ=ON -DPESORA_WINE=OFF -DPESORA_TESTS=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_weight_report keys_script_fuzzer fuzz_device_naming fuzz_serial_frames)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
for t in "${targets[@]}"; do
  exe=$(find "$build" -type f -name "$t" -perm -u+x | head -n 1)
  mkdir -p "$build/corpus/$t"
  echo "== $t: ${seconds} s"
  "$exe" -max_total_time="$seconds" -print_final_stats=1 "$build/corpus/$t" 2>&1 |
    grep -E '^(Done|stat::|==[0-9]+==ERROR|SUMMARY)' || true
done
