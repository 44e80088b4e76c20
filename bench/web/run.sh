#!/usr/bin/env bash
# The web page's playback benchmark beside the GTK viewer's, in one run. It makes 100 demo
# frames at 640x480 and 1920x1080, plays them in headless Chromium (run.mjs: drawn/s,
# composited/s, main-thread ms per frame, first frame, memory) at -p 0 unbuffered and
# buffered and at 640x480 also at the file's own pace (-p 40), then the GTK viewer's Kinaro
# rows of bench/playback/run.sh (ONLY_KINARO=1) on the same frames, and last the memory of
# an unbuffered 2 GB file (the 1920x1080 frames joined 165 times) opened by the page's
# picker and by the GTK viewer, each played for 10 s. Given a third folder (another build's
# page folder, such as a copy of build-web/web made before a change), the page rows are
# played with it first, in the same run.
#   Usage: bench/web/run.sh [BUILD_DIR] [WEB_BUILD_DIR] [EARLIER_PAGE_DIR]
#   (default: build build-web, no earlier page)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
web=${2:-build-web}
earlier=${3:-}
demo=$build/tools/demo/kinaro_demo
rmtool=$build/tools/rmtool/rmtool
kinaro=$build/app/kinaro
[ -x "$demo" ] && [ -x "$rmtool" ] && [ -x "$kinaro" ] && [ -f "$web/web/kinaro.wasm" ] ||
    { echo "build first: $demo, $rmtool, $kinaro, $web/web" >&2; exit 1; }
work=$(mktemp -d /tmp/kinaro-web-bench.XXXXXX)
xpid=""
cleanup() { [ -n "$xpid" ] && kill "$xpid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

for size in 640x480 1920x1080; do "$demo" "$work/$size.rm" --frames 100 --size "$size"; done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "page: script and .wasm gzipped: $(cat "$web/web/kinaro.js" "$web/web/page.js" | gzip -9 | wc -c) + $(gzip -9c "$web/web/kinaro.wasm" | wc -c) bytes"
rows=("$work/640x480.rm:-p 0 -loop 20" "$work/640x480.rm:-b 100 -noinfo -p 0 -loop 20"
      "$work/1920x1080.rm:-p 0 -loop 10" "$work/1920x1080.rm:-b 100 -noinfo -p 0 -loop 10"
      "$work/640x480.rm:-p 40 -loop 1")
if [ -n "$earlier" ]; then
  echo "earlier page $earlier: script and .wasm gzipped: $(cat "$earlier/kinaro.js" "$earlier/page.js" | gzip -9 | wc -c) + $(gzip -9c "$earlier/kinaro.wasm" | wc -c) bytes"
  node bench/web/run.mjs "$earlier" "${rows[@]}"
  echo "this page, load average: $(cut -d' ' -f1-3 /proc/loadavg)"
fi
node bench/web/run.mjs "$web/web" "${rows[@]}"

echo "GTK viewer (bench/playback/run.sh, ONLY_KINARO=1), load average: $(cut -d' ' -f1-3 /proc/loadavg)"
ONLY_KINARO=1 bench/playback/run.sh "$build" 640x480 1920x1080

parts=()
for _ in $(seq 165); do parts+=("$work/1920x1080.rm"); done
"$rmtool" join "$work/big.rm" "${parts[@]}" >/dev/null
echo "2 GB file: $(stat -c %s "$work/big.rm") bytes, unbuffered, -p 0, 10 s"
node bench/web/run.mjs "$web/web" "$work/big.rm:pick -p 0 -max 20000 -loop 1:10"
Xvfb -displayfd 9 -screen 0 2560x1600x24 -nolisten tcp 9>"$work/display" >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
DISPLAY=":$(head -1 "$work/display")" GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory \
    /usr/bin/time -f "GTK viewer: peak resident %M KB" timeout -s INT 10 \
    "$kinaro" -p 0 -max 20000 -loop 1 "$work/big.rm" 2>&1 | grep peak || true
