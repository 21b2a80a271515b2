#!/usr/bin/env bash
# The release test, in two halves that CTest runs as two entries. "package BUILD" builds the
# release files with scripts/package.sh into $RELEASE_TEST_DIR/dist, checks them without Wine and
# prepares what the Wine half needs (an MSI of a higher version, the zip unpacked); "wine BUILD"
# runs release_e2e.exe on the bench.
set -u
mode=$1
build=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
: "${RELEASE_TEST_DIR:?}" "${PESORA_WIN_DIR:?}" "${BENCH_DIR:?}"
dist=$RELEASE_TEST_DIR/dist
fail=0
check() { # check DESCRIPTION COMMAND...: runs the command, reports it when it fails
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; fail=1; fi
}

package() {
  rm -rf "$RELEASE_TEST_DIR"
  mkdir -p "$RELEASE_TEST_DIR"
  "$root/scripts/package.sh" --no-build --build "$build" --out "$dist" || { echo "FAILED: package.sh"; exit 1; }
  local version; version=$(tr -d '\r\n' <"$PESORA_WIN_DIR/PesoraVersion.txt")
  local zip=Pesora-$version-win64.zip msi=Pesora-$version-win64.msi
  # Exactly these files, named after the build's version.
  check "dist holds the exe, its debug file, zip, MSI and checksums" \
    test "$(cd "$dist" && ls | sort | tr '\n' ' ')" = "$(printf '%s\n' Pesora.exe Pesora.exe.debug "$zip" "$msi" SHA256SUMS | sort | tr '\n' ' ')"
  check "SHA256SUMS matches every file" bash -c "cd '$dist' && sha256sum --quiet -c SHA256SUMS && [ \$(wc -l <SHA256SUMS) -eq 4 ]"

  local exe=$dist/Pesora.exe size
  size=$(stat -c %s "$exe")
  # 1 MB before the web endpoint; its HTTP library (Boost.Beast and Asio) adds about 450 KB.
  check "stripped Pesora.exe is under 1.5 MB ($size bytes)" test "$size" -lt 1572864
  check "the shipped Pesora.exe is the one every test runs" cmp -s "$exe" "$PESORA_WIN_DIR/Pesora.exe"
  local headers; headers=$(x86_64-w64-mingw32-objdump -h "$exe")
  check "Pesora.exe carries no debug sections" bash -c "! grep -q ' \.debug_' <<<'$headers'"
  # A debugger given only the stripped exe finds its source lines through the debug link (it
  # checks the link's CRC of the debug file, too).
  check "gdb finds WinMain's source line through the debug link" \
    bash -c "cd '$dist' && gdb -nx -batch -ex 'info line WinMain' Pesora.exe 2>&1 | grep -q 'main_win\.cpp'"

  # The zip: flat, the four files a portable copy needs, text files with Windows line ends.
  check "zip holds Pesora.exe, PesoraHelp.chm, README.txt, LICENSE.txt" \
    test "$(unzip -Z1 "$dist/$zip" | sort | tr '\n' ' ')" = "LICENSE.txt Pesora.exe PesoraHelp.chm README.txt "
  local unpacked=$RELEASE_TEST_DIR/portable  # the Wine half runs it from a drive root
  mkdir -p "$unpacked"
  unzip -q "$dist/$zip" -d "$unpacked"
  check "zipped Pesora.exe is the stripped one" cmp -s "$unpacked/Pesora.exe" "$exe"
  check "zipped PesoraHelp.chm is the built one" cmp -s "$unpacked/PesoraHelp.chm" "$PESORA_WIN_DIR/PesoraHelp.chm"
  check "README.txt has CR LF line ends" bash -c "head -1 '$unpacked/README.txt' | grep -q \$'\r\$'"
  check "LICENSE.txt is the MIT licence" grep -q "MIT License" "$unpacked/LICENSE.txt"

  # What the MSI says about itself.
  local props; props=$(msiinfo export "$dist/$msi" Property)
  check "MSI ProductVersion is $version" grep -qx "ProductVersion	$version" <<<"${props//$'\r'/}"
  check "MSI installs for all users" grep -qx "ALLUSERS	1" <<<"${props//$'\r'/}"

  # An MSI of the next version for the upgrade test only: the same files and package source, the
  # exe's version resource raised to match (VS_FIXEDFILEINFO after its signature and structure
  # version: file and product version, each major<<16|minor then patch<<16).
  local next; next=$(awk -F. '{printf "%d.%d.%d", $1, $2, $3 + 1}' <<<"$version")
  local stage=$RELEASE_TEST_DIR/next-stage
  mkdir -p "$stage"
  cp "$unpacked/Pesora.exe" "$unpacked/PesoraHelp.chm" "$unpacked/LICENSE.txt" "$root/packaging/Pesora.wxs" \
     "$root/app/Pesora.ico" "$stage/"
  OLD=$version NEW=$next perl -0777 -pi -e '
    my ($o, $n) = map { my @v = split /\./; pack("V2", $v[0] << 16 | $v[1], $v[2] << 16) x 2 } @ENV{qw(OLD NEW)};
    s/\xBD\x04\xEF\xFE\x00\x00\x01\x00\K\Q$o\E/$n/ or die "no version resource of $ENV{OLD}\n"' "$stage/Pesora.exe" \
    || { echo "FAILED: raising the version"; exit 1; }
  (cd "$stage" && wixl -a x64 -D Version="$next" -o "$RELEASE_TEST_DIR/Pesora-$next-win64.msi" Pesora.wxs) \
    || { echo "FAILED: wixl for $next"; exit 1; }
  cp "$stage/Pesora.exe" "$RELEASE_TEST_DIR/Pesora-$next.exe"

  printf 'version=%s\nnext=%s\n' "$version" "$next" >"$RELEASE_TEST_DIR/versions"
  exit $fail
}

wine_half() {
  [ -f "$RELEASE_TEST_DIR/versions" ] || { echo "release.package did not run"; exit 1; }
  local version next
  version=$(sed -n 's/^version=//p' "$RELEASE_TEST_DIR/versions")
  next=$(sed -n 's/^next=//p' "$RELEASE_TEST_DIR/versions")
  # Drive P: holds the unpacked zip at its root, as a USB stick would.
  local drive=$BENCH_DIR/prefix/dosdevices/p:
  ln -sfn "$RELEASE_TEST_DIR/portable" "$drive"
  PESORA_RELEASE_DIR=$RELEASE_TEST_DIR PESORA_RELEASE_VERSION=$version PESORA_RELEASE_NEXT=$next \
    "$root/testbench/bench.sh" run release_e2e.exe
  local rc=$?
  rm -f "$drive"
  return $rc
}

case $mode in
  package) package ;;
  wine) wine_half ;;
  *) echo "usage: release-test.sh package|wine BUILD" >&2; exit 2 ;;
esac
