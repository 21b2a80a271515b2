#!/usr/bin/env bash
# Configures and builds everything into ./build: the native core and its tests, and the
# Windows side (Pesora.exe, virtual scale, end-to-end programs) cross-built with mingw-w64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)"
