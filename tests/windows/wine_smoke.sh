#!/usr/bin/env bash
# Smoke test of kinaro.exe under Wine on a private X server (Xvfb).
#   wine_smoke.sh KINARO_EXE KINARO_SMOKE_EXE
# The Wine prefix lives in a temporary folder and goes with it. Every run is under timeout:
# an unattended modal box would wait forever.
set -euo pipefail
kinaro=$(realpath "$1")
smoke=$(realpath "$2")

wine_extra_settings='[HKEY_CURRENT_USER\Software\Wine\Debug]
"RelayInclude"="winmm.timeBeginPeriod;winmm.timeEndPeriod"'
source "$(dirname "$0")/wine_prefix.sh"

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
