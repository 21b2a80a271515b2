#!/usr/bin/env bash
# Runs Pesora under Wine: on your display when there is one, otherwise on an Xvfb display of
# its own (it says so). Installs what is missing and builds first when needed. Wine keeps its
# files in a prefix of Pesora's own (build/run-prefix), never in ~/.wine.
#   scripts/run.sh [Pesora arguments, e.g. -H]
# PESORA_VIRTUAL_SCALE=1 also installs the virtual USB scale into that prefix (when built).
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

if [ "${PESORA_VIRTUAL_SCALE:-0}" = 1 ] && [ -f "$win/vscale/vscale.exe" ]; then
  echo "run: installing the virtual scale" >&2
  wine "$win/vscale/vscale.exe" install >>"$log" 2>&1 </dev/null
fi

mkdir -p "$WINEPREFIX/drive_c/Pesora"
cp "$win/Pesora.exe" "$WINEPREFIX/drive_c/Pesora/Pesora.exe"
echo "run: starting C:\\Pesora\\Pesora.exe (log: $log); close it with File > Exit" >&2
wine 'C:\Pesora\Pesora.exe' "$@" >>"$log" 2>&1 </dev/null
