#!/usr/bin/env bash
# Runs Pesora under Wine: on your display when there is one, otherwise on an Xvfb display of
# its own (it says so). Installs what is missing and builds first when needed. Wine keeps its
# files in a prefix of Pesora's own (build/run-prefix), never in ~/.wine.
#   scripts/run.sh [Pesora arguments, e.g. -H]
# A virtual USB scale is plugged in and selected, and its weight changes every few seconds, so
# the program has something to read; PESORA_VIRTUAL_SCALE=0 starts it without one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$root/build/win
[ -f "$win/Pesora.exe" ] || "$root/scripts/build.sh"

export WINEPREFIX=$root/build/run-prefix
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
log=$root/build/run.log

xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "run: Pesora on your display $DISPLAY" >&2
else
  for n in $(seq 91 199); do
    [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  echo "run: no display found; Pesora runs on its own virtual display $DISPLAY (Xvfb)," >&2
  echo "run: watch it with e.g. 'DISPLAY=$DISPLAY import -window root shot.png'" >&2
fi

if [ ! -d "$WINEPREFIX" ]; then
  echo "run: creating the Wine prefix $WINEPREFIX (once, about 15 s)" >&2
  # wineboot reports the 32-bit parts a 64-bit-only Wine lacks; the prefix works without them.
  wineboot -i >"$log" 2>&1 </dev/null || true
  wineserver -w || true
fi
wineserver -p >/dev/null 2>&1 </dev/null || true # keep the session (and devices) alive

vscale=$win/vscale/vscale.exe
serial=0001
if [ "${PESORA_VIRTUAL_SCALE:-1}" = 1 ] && [ -f "$vscale" ]; then
  echo "run: plugging in a virtual USB scale (serial $serial)" >&2
  wine "$vscale" install >>"$log" 2>&1 </dev/null
  wine "$vscale" unplug --serial "$serial" >>"$log" 2>&1 </dev/null || true
  wine "$vscale" plug --serial "$serial" --name "Virtual USB Scale" >>"$log" 2>&1 </dev/null
  # First run: have Pesora select the virtual scale, as if it had been picked last time.
  ini=$WINEPREFIX/drive_c/ProgramData/Pesora/Pesora.Ini
  if [ ! -f "$ini" ]; then
    mkdir -p "$(dirname "$ini")"
    printf '[Settings]\r\nSelectedScale=\\\\?\\HID#VID_0922&PID_8003#%s#{4d1e55b2-f16f-11cf-88cb-001111000030}\r\n' \
      "$serial" >"$ini"
  fi
  # A parcel on the platform: the weight settles, stays, goes off again, in grams.
  (
    weights=(0 1250 1873 2400 512 0 7319)
    i=0
    while sleep 4; do
      w=${weights[$((i % ${#weights[@]}))]}
      wine "$vscale" set --serial "$serial" --status 3 --unit 2 --weight "$((w / 2))" >>"$log" 2>&1 </dev/null
      sleep 1
      wine "$vscale" set --serial "$serial" --status 4 --unit 2 --weight "$w" >>"$log" 2>&1 </dev/null || break
      i=$((i + 1))
    done
  ) &
  weigher=$!
  trap 'kill $weigher 2>/dev/null; cleanup' EXIT
fi

mkdir -p "$WINEPREFIX/drive_c/Pesora"
cp "$win/Pesora.exe" "$WINEPREFIX/drive_c/Pesora/Pesora.exe"
[ -f "$win/PesoraHelp.chm" ] && cp "$win/PesoraHelp.chm" "$WINEPREFIX/drive_c/Pesora/"
echo "run: starting C:\\Pesora\\Pesora.exe (log: $log); close it with File > Exit" >&2
wine 'C:\Pesora\Pesora.exe' "$@" >>"$log" 2>&1 </dev/null
