#!/usr/bin/env bash
# Installs what is missing, builds the viewer, writes the demo animation with our own
# metafile writer and plays it. Without a display (DISPLAY unset) it says so, plays the demo
# twice under a private Xvfb (-loop 2), saves a screenshot and reports how it went.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kinaro kinaro_demo_file
demo=build/demo/kinaro-demo.rm
viewer=build/app/kinaro

if [ -n "${DISPLAY:-}" ]; then
    echo "Playing $demo (keys: F forward, B backward, L loop, C cycle, S stop, < > speed, Q quit)"
    exec "$viewer" -p 40 -loop 0 "$demo"
fi

echo "DISPLAY is not set: playing the demo twice under Xvfb instead (-loop 2)."
work=$(mktemp -d /tmp/kinaro-demo.XXXXXX)
xpid=""
trap '[ -n "$xpid" ] && kill "$xpid" 2>/dev/null; rm -rf "$work"' EXIT
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -1 "$work/display")" GDK_BACKEND=x11 NO_AT_BRIDGE=1
export GSETTINGS_BACKEND=memory HOME="$work"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS

start=$(date +%s.%N)
KINARO_GTK_STATS=1 timeout 60 "$viewer" -p 20 -loop 2 "$demo" 2>"$work/err" &
pid=$!
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Kinaro$' | head -1) || true
if [ -n "$window" ]; then
    sleep 1
    import -silent -window "$window" build/demo/screenshot.png 2>/dev/null &&
        echo "Screenshot of the window: build/demo/screenshot.png"
fi
status=0
wait "$pid" || status=$?
end=$(date +%s.%N)
frames=$(sed -n 's/^kinaro-gtk: bitmap puts \([0-9]*\), presented \([0-9]*\)$/\1 put, \2 presented on screen/p' "$work/err")
grep -v '^kinaro-gtk:' "$work/err" >&2 || true
echo "The viewer played $demo twice in $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') s" \
     "(${frames:-no frame count}) and ended with status $status."
exit "$status"
