#!/usr/bin/env bash
# Builds the release files a Windows user installs, from the Windows build, into build/dist/:
#   Pesora.exe                stripped as the build leaves it; its debug information is in
#                             Pesora.exe.debug, which gdb finds through the exe's debug link
#   Pesora-<version>-win64.zip  the portable copy: Pesora.exe, PesoraHelp.chm, README.txt, LICENSE.txt
#   Pesora-<version>-win64.msi  the installer (per machine, to Program Files\Pesora)
#   SHA256SUMS                the checksums of the four files above
# The version is the CMake project version (top CMakeLists.txt), as the build wrote it.
#   scripts/package.sh [--no-build] [--build DIR] [--out DIR]
# Without --no-build it first installs what is missing and brings the Windows build up to date.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
out=""
do_build=1
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) do_build=0 ;;
    --build) build=$(cd "$2" && pwd); shift ;;
    --out) out=$2; shift ;;
    *) echo "usage: scripts/package.sh [--no-build] [--build DIR] [--out DIR]" >&2; exit 2 ;;
  esac
  shift
done
out=${out:-$build/dist}
win=$build/win

if [ $do_build = 1 ]; then
  "$root/scripts/setup.sh"
  [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target pesora_win -j"$(nproc)"
fi
for f in Pesora.exe Pesora.exe.debug PesoraHelp.chm PesoraVersion.txt; do
  [ -f "$win/$f" ] || { echo "package: $win/$f is missing; build first (scripts/build.sh)" >&2; exit 1; }
done
version=$(tr -d '\r\n' <"$win/PesoraVersion.txt")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "package: bad version '$version'" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The build leaves Pesora.exe stripped, with its debug information in Pesora.exe.debug beside it
# (packaging/SplitDebugInfo.cmake): the tests run the very exe that ships. The zip's entries
# carry the exe's link time, so one build packs the same zip every time.
lfanew=$(od -An -tu4 -j 60 -N4 "$win/Pesora.exe" | tr -d ' ')
link_time=$(od -An -tu4 -j $((lfanew + 8)) -N4 "$win/Pesora.exe" | tr -d ' ')
cp "$win/Pesora.exe" "$win/Pesora.exe.debug" "$stage/"
cp "$win/PesoraHelp.chm" "$stage/"
# Text files with Windows line ends, so that Notepad shows them as they are.
sed 's/\r*$/\r/' "$root/README.md" >"$stage/README.txt"
sed 's/\r*$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"

zip=Pesora-$version-win64.zip
msi=Pesora-$version-win64.msi
(cd "$stage" && touch -d "@$link_time" Pesora.exe PesoraHelp.chm README.txt LICENSE.txt &&
  TZ=UTC zip -q -X "$out/$zip" Pesora.exe PesoraHelp.chm README.txt LICENSE.txt)

# wixl takes the files the package source names relative to the folder it runs in.
cp "$root/packaging/Pesora.wxs" "$root/app/Pesora.ico" "$stage/"
(cd "$stage" && wixl -a x64 -D Version="$version" -o "$out/$msi" Pesora.wxs)

cp "$stage/Pesora.exe" "$stage/Pesora.exe.debug" "$out/"
(cd "$out" && sha256sum Pesora.exe Pesora.exe.debug "$zip" "$msi" >SHA256SUMS)

echo "package: Pesora $version in $out" >&2
(cd "$out" && stat -c '  %-28n %9s bytes' Pesora.exe Pesora.exe.debug "$zip" "$msi") >&2
