#!/usr/bin/env bash
# Playback benchmark of the GTK viewer under Xvfb, side by side with mpv and gifview when they
# are installed. For every frame size (default 640x480 and 1920x1080) it makes 100 frames
# with the demo generator, plays them at -p 0 buffered (-b -noinfo) and unbuffered, and the
# same frames as a GIF in mpv (--vo=x11 --untimed) and gifview, and prints per run (Kinaro
# plays the 100 frames 20 times, -loop 20, so that playback outweighs start-up):
#   shown/s     frames that reached the X server's screen per second, counted apart from
#               the player with the DAMAGE extension (damage_watch.cpp)
#   put/s       frames the viewer drew per second (its own count, KINARO_GTK_STATS)
#   run CPU     the player's CPU time (user + system) over the whole run, start-up and
#               buffering included, per frame shown (ms)
#   play CPU    the playback part on its own: the player's CPU time (utime + stime of
#               /proc/PID/stat, sampled by the watcher) from the first frame on screen to the
#               end, per frame shown in between (ms)
#   x floor     the play CPU over the floor
#   X ms/f      the X server's CPU time per frame shown
#   first s     time from start to the first frame on screen
#   peak MB     the player's peak resident memory
# The floor, measured in the same run (floor.cpp): a plain colour-table loop converting one
# frame to 32-bit pixels plus the copy of the result; also the viewer's own row conversion.
# What a buffered first frame waits for, in the same run after the viewer's runs: rmtool
# check's decoding of the file and fresh zeroed memory for its arrays (floor.cpp, through
# the allocator the image list uses).
# At the first size it also plays at -p 20 (unbuffered and buffered) and at -p 0 presented by
# GTK's redraws (KINARO_GTK_PRESENT=gtk, held to its frame clock), reads the pacing off the
# viewer's debug log, and prints what buffering costs in memory.
#   Usage: bench/playback/run.sh [BUILD_DIR] [WxH...]   (default: build 640x480 1920x1080)
# Each size is played twice: the demo frames, then the same demo made busy (--busy: pixel
# streams about half the raw size, as real pictures in 255 colours), each followed by the
# time of rmtool check over the file.
# With BEFORE=path/to/another/kinaro the two Kinaro runs are made with that binary first,
# marked "(before)", for a side-by-side comparison in one run; BEFORE_RMTOOL likewise adds
# the check of another rmtool. ONLY_KINARO=1 makes only the
# Kinaro runs at -p 0 and the line on what a buffered first frame waits for (no GIF players,
# no -p 20, no GTK redraws).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(640x480 1920x1080)
kinaro=$build/app/kinaro
demo=$build/tools/demo/kinaro_demo
rmtool=$build/tools/rmtool/rmtool
[ -x "$kinaro" ] && [ -x "$demo" ] && [ -x "$rmtool" ] ||
    { echo "build first: $kinaro, $demo, $rmtool" >&2; exit 1; }
work=$(mktemp -d /tmp/kinaro-bench.XXXXXX)
xpid=""
cleanup() { [ -n "$xpid" ] && kill "$xpid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

c++ -O2 -std=c++20 bench/playback/damage_watch.cpp -o "$work/damage_watch" -lX11 -lXdamage
c++ -O2 -std=c++20 -I. bench/playback/floor.cpp platform/core/dib_rows.cpp platform/memory.cpp -o "$work/floor"

Xvfb -displayfd 9 -screen 0 2560x1600x24 -nolisten tcp 9>"$work/display" >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -1 "$work/display")" GDK_BACKEND=x11 NO_AT_BRIDGE=1
export GSETTINGS_BACKEND=memory HOME="$work"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
ticks=$(getconf CLK_TCK)
frames=100

xcpu() { awk '{ print $14 + $15 }' "/proc/$xpid/stat"; }

# run LABEL TITLE COMMAND...: plays under the watcher, which waits for the window TITLE.
run() {
    local label=$1 title=$2
    shift 2
    "$work/damage_watch" "$title" "$width" "$height" 120 >"$work/watch" &
    local watcher=$!
    local x0
    x0=$(xcpu)
    KINARO_GTK_STATS=1 /usr/bin/time -f "%e %U %S %M" -o "$work/time" \
        timeout "${limit:-100}" "$@" >/dev/null 2>"$work/err" || true
    kill "$watcher" 2>/dev/null || true
    wait "$watcher" || true
    local x1
    x1=$(xcpu)
    read -r _ user system peak_kb < <(tail -1 "$work/time")
    echo "$peak_kb" >"$work/peak-$label"
    local puts
    puts=$(sed -n 's/^kinaro-gtk: bitmap puts \([0-9]*\),.*/\1/p' "$work/err")
    awk -v label="$label" -v puts="${puts:-}" -v user="$user" -v sys="$system" \
        -v peak="$peak_kb" -v xt=$((x1 - x0)) -v hz="$ticks" -v floor="$floor_ms" '
        { for (i = 1; i < NF; ++i) v[$i] = $(i + 1) }
        END {
          shown = v["frames"] + 0; first = v["first_ms"] / 1000
          span = (v["last_ms"] - v["first_ms"]) / 1000
          if (span <= 0) span = 1e-9
          if (shown == 0) { printf "%-34s no frame shown\n", label; exit }
          cpu = (user + sys) * 1000 / shown
          play = "-"; ratio = "-"
          if (v["play_frames"] > 0) {
            p = v["play_ticks"] * 1000 / hz / v["play_frames"]
            play = sprintf("%.3f", p); ratio = sprintf("%.1f", p / floor)
          }
          printf "%-34s %7.0f %7s %8.3f %8s %7s %7.3f %7.3f %7.1f\n", label, shown / span,
                 puts == "" ? "-" : sprintf("%.0f", puts / span), cpu, play, ratio,
                 xt * 1000 / hz / shown, first, peak / 1024
        }' "$work/watch"
}

# kinaro_runs FILE TAG: the Kinaro runs at -p 0 (buffered and unbuffered, with BEFORE first
# when given), then rmtool check of the file (BEFORE_RMTOOL first when given) and fresh
# memory for its arrays: what a buffered first frame waits for. Measured after the viewer's
# runs: memory freed moments before comes back cheaper.
kinaro_runs() {
    local file=$1 content=$2 viewer tool tag check_s fresh
    for viewer in ${BEFORE:+"$BEFORE"} "$kinaro"; do
        tag=$content
        [ "$viewer" = "$kinaro" ] || tag="$content (before)"
        run "kinaro -b -noinfo -p 0$tag" Kinaro "$viewer" -b "$frames" -noinfo -p 0 -loop 20 "$file"
        run "kinaro -p 0 (unbuffered)$tag" Kinaro "$viewer" -p 0 -loop 20 "$file"
    done
    for tool in ${BEFORE_RMTOOL:+"$BEFORE_RMTOOL"} "$rmtool"; do
        check_s=$( { /usr/bin/time -f %e "$tool" check "$file" >/dev/null; } 2>&1 | tail -1)
        tag=""
        [ "$tool" = "$rmtool" ] || tag=" (before)"
        echo "rmtool check$content$tag: $check_s s"
    done
    read -r _ _ _ _ _ _ _ fresh < <("$work/floor" "$width" "$height" "$frames")
    echo "what a buffered first frame waits for: decoding the file (rmtool check, above)," \
        "fresh memory for its arrays $fresh ms"
}

for size in "${sizes[@]}"; do
    width=${size%x*}
    height=${size#*x}
    "$demo" "$work/bench.rm" --frames "$frames" --size "$size"
    read -r _ plain _ convert _ copy < <("$work/floor" "$width" "$height")
    floor_ms=$(awk -v a="$plain" -v b="$copy" 'BEGIN { print a + b }')
    echo
    echo "== $size, $frames frames; floor $floor_ms ms/frame (table loop $plain + copy $copy; viewer's row conversion $convert)"
    echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    printf "%-34s %7s %7s %8s %8s %7s %7s %7s %7s\n" run shown/s put/s "run CPU" "play CPU" \
        "x floor" "X ms/f" "first s" "peak MB"
    kinaro_runs "$work/bench.rm" ""
    # Busy content: the demo roughened (--busy), pixel streams about half the raw size, which
    # the decoder rather than the drawing paces.
    "$demo" "$work/busy.rm" --frames "$frames" --size "$size" --busy
    echo "busy frames: file $(stat -c %s "$work/busy.rm") bytes, $(awk -v b="$(stat -c %s "$work/busy.rm")" \
        -v r=$((width * height * frames)) 'BEGIN { printf "%.0f", 100 * b / r }')% of the raw frames"
    kinaro_runs "$work/busy.rm" " busy"
    [ -z "${ONLY_KINARO:-}" ] || continue
    if command -v mpv >/dev/null || command -v gifview >/dev/null; then
        "$rmtool" export "$work/bench.rm" --gif "$work/bench.gif" -p 10 --force >/dev/null
        # Ten passes as one file: the GIF players are too slow for twenty.
        gifsicle --no-warnings "$work/bench.gif" "$work/bench.gif" "$work/bench.gif" "$work/bench.gif" \
            "$work/bench.gif" "$work/bench.gif" "$work/bench.gif" "$work/bench.gif" "$work/bench.gif" \
            "$work/bench.gif" -o "$work/ten.gif" 2>/dev/null || cp "$work/bench.gif" "$work/ten.gif"
    fi
    if command -v mpv >/dev/null; then
        run "mpv --vo=x11 --untimed" bench mpv --no-config --vo=x11 --untimed --no-audio \
            --title=bench --autofit-larger=100%x100% --no-osc --osd-level=0 "$work/ten.gif"
    fi
    if command -v gifview >/dev/null; then
        limit=8 run "gifview (8 s)" bench gifview --animate --no-interactive --title=bench "$work/ten.gif"
    fi
    if [ "$size" = "${sizes[0]}" ]; then
        run "kinaro -p 20 (unbuffered)" Kinaro "$kinaro" -p 20 -loop 1 "$work/bench.rm"
        run "kinaro -p 20 -b" Kinaro "$kinaro" -p 20 -b "$frames" -noinfo -loop 1 "$work/bench.rm"
        KINARO_GTK_PRESENT=gtk run "kinaro -p 0 via GTK redraws" Kinaro "$kinaro" -p 0 -loop 20 \
            "$work/bench.rm"
        awk -v u="$(cat "$work/peak-kinaro -p 0 (unbuffered)")" \
            -v b="$(cat "$work/peak-kinaro -b -noinfo -p 0")" -v f=$((width * height * frames)) 'BEGIN {
            printf "buffering costs %.1f MB for %.1f MB of frames (%+.1f%%)\n", (b - u) / 1024,
                   f / 1048576, ((b - u) * 1024 / f - 1) * 100 }'
        timeout 60 "$kinaro" -p 20 -loop 1 -d10 "$work/pace.log" "$work/bench.rm" 2>/dev/null || true
        sed -n 's/^Last:[0-9-]*, Cur:[0-9-]*, Diff:\([0-9-]*\), Wait:\([0-9-]*\)$/\1 \2/p' "$work/pace.log" |
            awk '$1 >= $2 { n++; if (!min || $1 < min) min = $1; if ($1 > max) max = $1; if ($1 - $2 <= 2) ok++ }
                 END { printf "pacing at -p 20 by the viewer'"'"'s clock: %d puts, %d to %d ms apart, %d within 2 ms of 20\n",
                              n, min, max, ok }'
    fi
done
