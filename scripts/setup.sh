#!/usr/bin/env bash
# Installs what building and testing Pesora needs on Debian or Ubuntu, from Debian's packages
# only, and only what is missing. Run as root, or with sudo available.
set -euo pipefail
packages=(cmake make g++ libgtest-dev g++-mingw-w64-x86-64 wine wine64 xvfb x11-utils
          imagemagick fp-utils clang clang-format libboost-dev chromium curl python3 iproute2
          wixl msitools zip unzip gdb)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
# With recommends: Wine's X11 driver draws text and windows through libraries it only recommends,
# and the tests measure what it draws.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >&2
