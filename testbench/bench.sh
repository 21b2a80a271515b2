#!/usr/bin/env bash
# The Wine test bench: its own Xvfb display and its own Wine prefix under $BENCH_DIR, so that
# nothing of the user's own prefix or display is touched.
#   bench.sh start        start Xvfb and the virtual serial scales, create the prefix with their
#                         COM ports, keep the Wine session alive, install the virtual USB scale
#                         when it has been built
#   bench.sh run PROG...  run a program of $PESORA_WIN_DIR/e2e-bin (or a path) under Wine
#   bench.sh env          print the bench's environment as shell assignments
#   bench.sh stop         end the Wine session of this prefix, the serial scales and this Xvfb
set -u
: "${BENCH_DIR:?BENCH_DIR must name the bench folder}"
: "${PESORA_WIN_DIR:?PESORA_WIN_DIR must name the Windows build folder}"
envfile=$BENCH_DIR/env
here=$(cd "$(dirname "$0")" && pwd)
# The virtual serial scales: one port per protocol (NCI's S-prefixed form on COM12) and one where
# nothing answers.
serial_ports="COM5=nci COM6=sma COM7=8217 COM8=sics COM9=line COM10=toledo COM11=silent COM12=nci-s"

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$BENCH_DIR/prefix
export WINEARCH=win64

log() { printf 'bench: %s\n' "$*" >&2; }

free_display() {
  local n
  for n in $(seq 91 199); do
    [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] || { echo "$n"; return 0; }
  done
  return 1
}

start() {
  stop >/dev/null 2>&1
  mkdir -p "$BENCH_DIR"
  local n; n=$(free_display) || { log "no free X display"; exit 1; }
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$BENCH_DIR/xvfb.log" 2>&1 &
  echo $! >"$BENCH_DIR/xvfb.pid"
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  printf 'export DISPLAY=%q\n' "$DISPLAY" >"$envfile"
  rm -rf "$WINEPREFIX"
  local t0=$SECONDS
  start_serial
  make_prefix
  map_serial
  # Drive R: is an empty folder of the bench, so that tests can run a program from a drive root.
  rm -rf "$BENCH_DIR/drive-r"
  mkdir -p "$BENCH_DIR/drive-r"
  ln -sfn "$BENCH_DIR/drive-r" "$WINEPREFIX/dosdevices/r:"
  # Keep the session (and the devices Wine's services hold) alive for the whole run.
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit 0 >"$BENCH_DIR/warmup.log" 2>&1 </dev/null
  log "prefix ready in $((SECONDS - t0)) s on display $DISPLAY"
  local vs=$PESORA_WIN_DIR/vscale/vscale.exe
  if [ -x "$vs" ] || [ -f "$vs" ]; then
    wine "$vs" install >"$BENCH_DIR/vscale-install.log" 2>&1 </dev/null
    local rc=$?
    cat "$BENCH_DIR/vscale-install.log" >&2
    [ $rc -eq 0 ] || { log "virtual scale install failed ($rc)"; exit 1; }
  fi
}

# A new prefix takes wineboot 10 to 30 s; a copy of the one made before takes under a second. The
# copy is kept beside the Windows build, so that the benchmarks' benches of their own use it too,
# and made again when Wine is another version.
make_prefix() {
  local template=$PESORA_WIN_DIR/bench-prefix-template version new
  version=$(wine --version 2>/dev/null)
  if [ "$(cat "$template/.bench-wine-version" 2>/dev/null)" = "$version" ] && cp -a "$template" "$WINEPREFIX"; then
    return 0
  fi
  rm -rf "$WINEPREFIX"
  wineboot -i >"$BENCH_DIR/wineboot.log" 2>&1 </dev/null
  wineserver -w
  # Made aside and moved in whole: another bench may be starting at the same time.
  new=$(mktemp -d "$template.XXXXXX") || return 0
  if cp -a "$WINEPREFIX/." "$new/" && echo "$version" >"$new/.bench-wine-version"; then
    rm -rf "$template"
    mv -T "$new" "$template" 2>/dev/null || rm -rf "$new"
  else
    rm -rf "$new"
  fi
}

# The simulator starts beside wineboot; its ptys must exist before the session that maps them.
start_serial() {
  local dir=$BENCH_DIR/vserial py=/usr/bin/python3  # Debian's: a version manager's shim costs a second
  [ -x "$py" ] || py=python3
  rm -rf "$dir"
  mkdir -p "$dir"
  # shellcheck disable=SC2086
  "$py" "$here/vserial/vserial.py" "$dir" $serial_ports >"$BENCH_DIR/vserial.log" 2>&1 </dev/null &
  echo $! >"$BENCH_DIR/vserial.pid"
}

# Written into the registry file while no wineserver runs: the next session maps the ports (and
# links dosdevices/comN) at no cost, where `wine reg add` would take a session start of its own.
map_serial() {
  local p dir=$BENCH_DIR/vserial
  for _ in $(seq 50); do [ -s "$dir/port" ] && break; sleep 0.1; done
  [ -s "$dir/port" ] || { log "virtual serial scales did not start"; cat "$BENCH_DIR/vserial.log" >&2; exit 1; }
  printf 'export VSERIAL_PORT=%q\n' "$(cat "$dir/port")" >>"$envfile"
  printf '\n[Software\\\\Wine\\\\Ports] %s\n' "$(date +%s)" >>"$WINEPREFIX/system.reg"
  for p in $serial_ports; do
    printf '"%s"="%s"\n' "${p%%=*}" "$dir/${p%%=*}" >>"$WINEPREFIX/system.reg"
  done
  # COM13 leads nowhere: a port whose device is not there at all.
  printf '"COM13"="%s"\n' "$dir/COM13" >>"$WINEPREFIX/system.reg"
}

run() {
  [ -f "$envfile" ] || { log "bench not started"; exit 1; }
  . "$envfile"
  local prog=$1; shift
  [ -f "$prog" ] || prog=$PESORA_WIN_DIR/e2e-bin/$prog
  local out; out=$(mktemp "$BENCH_DIR/run.XXXXXX")
  # Wine's first command of a session hands its stdout to its services: always a file.
  wine "$prog" "$@" >"$out" 2>&1 </dev/null
  local rc=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  return $rc
}

stop() {
  if [ -d "$WINEPREFIX" ]; then wineserver -k >/dev/null 2>&1; fi
  if [ -f "$BENCH_DIR/xvfb.pid" ]; then
    kill "$(cat "$BENCH_DIR/xvfb.pid")" 2>/dev/null
    rm -f "$BENCH_DIR/xvfb.pid"
  fi
  if [ -f "$BENCH_DIR/vserial.pid" ]; then
    kill "$(cat "$BENCH_DIR/vserial.pid")" 2>/dev/null
    rm -f "$BENCH_DIR/vserial.pid"
  fi
  rm -f "$envfile"
  return 0
}

cmd=${1:-}; shift || true
case $cmd in
  start) start ;;
  run) run "$@" ;;
  env) cat "$envfile"; printf 'export WINEPREFIX=%q WINEDEBUG=%q WINEDLLOVERRIDES=%q\n' "$WINEPREFIX" "$WINEDEBUG" "$WINEDLLOVERRIDES" ;;
  stop) stop ;;
  *) echo "usage: bench.sh start|run PROG [ARGS]|env|stop" >&2; exit 2 ;;
esac
