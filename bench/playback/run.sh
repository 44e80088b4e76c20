#!/usr/bin/env bash
# Playback benchmark of the GTK viewer under Xvfb. Plays a 640x480, 200-frame demo file with
# -loop N at -p 0 and -p 20, unbuffered and buffered (-b), and prints per run:
#   put/s        frames the viewer drew per second (its own count, KINARO_GTK_STATS)
#   shown/s      frames that reached the X server's screen per second, counted apart from
#                the viewer with the DAMAGE extension (damage_watch.cpp)
#   ours ms/f    the viewer's CPU time (user + system) per frame put
#   X ms/f       the X server's CPU time per frame
#   first s      time from start to the first frame on screen
#   peak MB      the viewer's peak resident memory
#   gap ms       mean, min and max time between frames on screen, and how many gaps lay
#                within 2 ms of the mean
# A further run leaves presenting to GTK's own redraws, to show the frames a 60 Hz frame
# clock drops; the last one reads the pacing off the viewer's own debug log. Usage: bench/playback/run.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
kinaro=$build/app/kinaro
demo=$build/tools/demo/kinaro_demo
[ -x "$kinaro" ] && [ -x "$demo" ] || { echo "build first: $kinaro, $demo" >&2; exit 1; }
work=$(mktemp -d /tmp/kinaro-bench.XXXXXX)
xpid=""
cleanup() { [ -n "$xpid" ] && kill "$xpid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

c++ -O2 -std=c++20 bench/playback/damage_watch.cpp -o "$work/damage_watch" -lX11 -lXdamage
"$demo" "$work/bench.rm" --frames 200 --size 640x480

Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$work/display" >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -1 "$work/display")" GDK_BACKEND=x11 NO_AT_BRIDGE=1
export GSETTINGS_BACKEND=memory HOME="$work"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
ticks=$(getconf CLK_TCK)
frame_bytes=$((640 * 480 * 200))

xcpu() { awk '{ print $14 + $15 }' "/proc/$xpid/stat"; }

run() {
    local label=$1
    shift
    "$work/damage_watch" Kinaro 640 480 60 >"$work/watch" &
    local watcher=$!
    local x0
    x0=$(xcpu)
    KINARO_GTK_STATS=1 /usr/bin/time -f "%e %U %S %M" -o "$work/time" \
        timeout 120 "$kinaro" "$@" "$work/bench.rm" 2>"$work/err" || true
    wait "$watcher" || true
    local x1
    x1=$(xcpu)
    read -r elapsed user system peak_kb <"$work/time"
    local puts
    puts=$(sed -n 's/^kinaro-gtk: bitmap puts \([0-9]*\),.*/\1/p' "$work/err")
    awk -v label="$label" -v puts="${puts:-0}" -v user="$user" -v sys="$system" \
        -v peak="$peak_kb" -v xt=$((x1 - x0)) -v hz="$ticks" -v frame_bytes="$frame_bytes" '
        { for (i = 1; i < NF; ++i) v[$i] = $(i + 1)
          shown = v["frames"]; first = v["first_ms"] / 1000; span = (v["last_ms"] - v["first_ms"]) / 1000
          within = $NF }
        END {
          if (span <= 0) span = 1e-9
          printf "%-22s %7.0f %7.0f %8.3f %7.3f %6.3f %7.1f   %6.2f %6.2f %6.2f %s\n", label,
                 puts / span, shown / span, (user + sys) * 1000 / puts, xt * 1000 / hz / puts,
                 first, peak / 1024, v["mean"], v["min"], v["max"], within
        }' "$work/watch"
    echo "$peak_kb" >"$work/peak-$label"
}

printf "%-22s %7s %7s %8s %7s %6s %7s   %6s %6s %6s %s\n" run put/s shown/s "ours ms/f" "X ms/f" \
    "first s" "peak MB" "gap ms" min max within2
run "p0 unbuffered" -p 0 -loop 10
run "p0 buffered" -p 0 -b 200 -loop 10
run "p20 unbuffered" -p 20 -loop 1
run "p20 buffered" -p 20 -b 200 -loop 1
KINARO_GTK_PRESENT=gtk run "p0 via GTK redraws" -p 0 -loop 10
# The pacing as the viewer's own millisecond clock sees it: the interval of every paced put
# (its debug log at level 10 has one line per check of the pause).
timeout 60 "$kinaro" -p 20 -loop 1 -d10 "$work/pace.log" "$work/bench.rm" 2>/dev/null || true
sed -n 's/^Last:[0-9-]*, Cur:[0-9-]*, Diff:\([0-9-]*\), Wait:\([0-9-]*\)$/\1 \2/p' "$work/pace.log" |
    awk '$1 >= $2 { n++; if (!min || $1 < min) min = $1; if ($1 > max) max = $1; if ($1 - $2 <= 2) ok++ }
         END { printf "pacing at -p 20 by the viewer'"'"'s clock: %d puts, %d to %d ms apart, %d within 2 ms of 20\n",
                      n, min, max, ok }'
unbuffered=$(cat "$work/peak-p0 unbuffered")
buffered=$(cat "$work/peak-p0 buffered")
awk -v u="$unbuffered" -v b="$buffered" -v f="$frame_bytes" 'BEGIN {
    printf "buffering costs %.1f MB for %.1f MB of frames (%+.1f%%)\n", (b - u) / 1024,
           f / 1048576, ((b - u) * 1024 / f - 1) * 100 }'
