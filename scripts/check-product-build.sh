#!/usr/bin/env bash
# Builds Pesora.exe alone, the way the README's Windows instructions do (-DPESORA_TESTS=OFF),
# in a tree where GoogleTest cannot be found: the product must configure and build without
# the test bench. Here with the mingw-w64 cross toolchain, into build/product-only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/product-only
log=$root/build/product-only.log
rm -rf "$out"
mkdir -p "$out"
cmake -S "$root" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DPESORA_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$log" 2>&1 || { cat "$log"; exit 1; }
cmake --build "$out" -j"$(nproc)" --target Pesora >>"$log" 2>&1 || { tail -40 "$log"; exit 1; }
test -f "$out/Pesora.exe"
if grep -i 'gtest\|googletest' "$out/CMakeCache.txt" | grep -qv '^CMAKE_DISABLE_FIND_PACKAGE_GTest'; then
  echo "product-only build: the configuration still refers to GoogleTest" >&2
  exit 1
fi
echo "product-only build: $out/Pesora.exe ($(stat -c %s "$out/Pesora.exe") bytes), configured without GoogleTest"
