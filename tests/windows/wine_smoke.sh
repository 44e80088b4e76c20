#!/usr/bin/env bash
# Smoke test of kinaro.exe under Wine on a private X server (Xvfb).
#   wine_smoke.sh KINARO_EXE KINARO_SMOKE_EXE
# The Wine prefix lives in a temporary folder and goes with it. Every run is under timeout:
# an unattended modal box would wait forever.
set -euo pipefail
kinaro=$(realpath "$1")
smoke=$(realpath "$2")

work=$(mktemp -d "${TMPDIR:-/tmp}/kinaro-wine.XXXXXX")
xvfb_pid=""
cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 30 wineserver -k >/dev/null 2>&1 || true
  fi
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f s", b - a }'; }

# A free display number, never a fixed one: other programs may hold it.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
export HOME="$work/home"
mkdir -p "$HOME"
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer, no debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

start=$(seconds)
# One server for all runs (it would otherwise start and stop with every process).
mkdir -p "$WINEPREFIX"
wineserver -p
timeout 180 wineboot --init >/dev/null 2>&1
# No window manager: Wine must manage its windows itself (otherwise every close waits 2 s and
# focus breaks), and a crash must end the process instead of waiting on a dialog.
cat >"$work/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Debug]
"RelayInclude"="winmm.timeBeginPeriod;winmm.timeEndPeriod"
REG
timeout 60 wine regedit /S "$(echo "Z:$work/settings.reg" | tr / '\\')" >/dev/null 2>&1
if ! timeout 60 wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed 2>/dev/null |
    tr -d '\r' | grep -q 'REG_SZ *N$'; then
  echo "FAIL: the Wine settings did not reach the registry"
  exit 1
fi
echo "Wine prefix ready in $(elapsed "$start")"

status=0
start=$(seconds)
# The calls of the timer resolution functions are traced (only those: see RelayInclude),
# process by process.
WINEDEBUG=+pid,+relay timeout 300 wine "$smoke" run "$kinaro" "$work" \
  2>"$work/trace.txt" | tee "$work/run.txt" || status=1

# Every viewer, however it ended (keys, a pass limit, a fatal error, a cancelled dialog),
# raised the timer resolution to 1 ms once and ended that raise once.
started=$(tr -d '\r' <"$work/run.txt" | awk '/^viewers started:/ { print $3 }')
read -r traced unbalanced < <(awk -F: '
  /:Call winmm\.time(Begin|End)Period\(/ {
    call = $0 ~ /Begin/ ? "begin" : "end"
    if ($0 !~ /Period\(00000001\)/) call = call "(not 1 ms)"
    calls[$1] = calls[$1] " " call
  }
  END {
    for (p in calls) { n++; if (calls[p] != " begin end") bad++ }
    print n + 0, bad + 0
  }' "$work/trace.txt")
if [ -n "$started" ] && [ "$traced" -eq "$started" ] && [ "$unbalanced" -eq 0 ]; then
  echo "ok  : each of the $started viewers began and ended a 1 ms timer period once"
else
  echo "FAIL: timer periods: ${started:-?} viewers, $traced traced, $unbalanced unbalanced"
  grep -a ':Call winmm\.time' "$work/trace.txt" | head -40
  status=1
fi

# The picture as the X server has it, taken from outside Wine: a screenshot of the client
# area against what it must show.
timeout 120 wine "$smoke" show "$kinaro" "$work" &
shower=$!
for _ in $(seq 600); do [ -s "$work/client.txt" ] && break; sleep 0.1; done
if [ -s "$work/client.txt" ]; then
  read -r x y w h <"$work/client.txt"
  import -silent -window root "$work/root.png"
  touch "$work/captured"
  convert "$work/root.png" -crop "${w}x${h}+${x}+${y}" +repage -depth 8 "$work/client.png"
  differing=$(compare -metric AE "$work/expected.ppm" "$work/client.png" null: 2>&1 || true)
  if [ "$differing" = "0" ]; then
    echo "ok  : X screenshot of the ${w}x${h} client area shows image 0"
  else
    echo "FAIL: X screenshot of the client area: $differing pixels differ from image 0"
    status=1
  fi
else
  echo "FAIL: the viewer shown for the X screenshot did not report its place"
  status=1
fi
wait "$shower" || status=1

# The exit status a Unix shell sees: -1 arrives as 255.
timeout 60 wine "$kinaro" "$work/damaged.rm" >/dev/null 2>&1 &
viewer=$!
timeout 60 wine "$smoke" close-box "Kinaro Error" || status=1
code=0
wait "$viewer" || code=$?
if [ "$code" -eq 255 ]; then
  echo "ok  : damaged file, seen from the shell: exit status 255"
else
  echo "FAIL: damaged file, seen from the shell: exit status $code, expected 255"
  status=1
fi
echo "Smoke test ran in $(elapsed "$start")"
exit $status
