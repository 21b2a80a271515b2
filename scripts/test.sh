#!/usr/bin/env bash
# Builds everything and runs every test through CTest: the native unit tests, the same tests
# under AddressSanitizer and UBSan, and the end-to-end tests of the real Pesora.exe under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure "$@"
