#!/usr/bin/env bash
# Encoding benchmark: rmtool encode against ffmpeg's decoding of the same input, with time and
# peak memory from /usr/bin/time -v. The input is ffmpeg's mandelbrot source written as an
# animated GIF or as a PNG stream (read by encode from standard input): png for true-colour
# PNGs (as ffmpeg writes a video's frames), png8 for palette PNGs.
#   bench/encode/run.sh [BUILD_DIR] [FRAMES] [WIDTHxHEIGHT] [gif|png|png8]
# defaults: build 100 1920x1080 gif. Prints one line per program:
#   wall s    elapsed time        cpu s    user + system time        peak MB    maximum RSS
# and the ratio of the two elapsed times. The files are made in a temporary folder and removed.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
frames=${2:-100}
size=${3:-1920x1080}
format=${4:-gif}
rmtool=$build/tools/rmtool/rmtool
[ -x "$rmtool" ] || { echo "build first: $rmtool" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/kinaro-encode.XXXXXX")
trap 'rm -rf "$work"' EXIT

source=(-f lavfi -i "mandelbrot=s=$size:rate=25" -frames:v "$frames")
if [ "$format" = gif ]; then
  input=$work/in.gif
  ffmpeg -v error "${source[@]}" -y "$input"
  decode=(ffmpeg -v error -i "$input" -f null -)
  encode=("$rmtool" encode "$work/out.rm" "$input")
  stdin=/dev/null
else
  input=$work/in.png-stream
  pixels=()
  [ "$format" = png8 ] && pixels=(-pix_fmt pal8)
  ffmpeg -v error "${source[@]}" "${pixels[@]}" -f image2pipe -c:v png - > "$input"
  decode=(ffmpeg -v error -f image2pipe -i - -f null -)
  encode=("$rmtool" encode "$work/out.rm" -)
  stdin=$input
fi

measure() {  # label, command...: prints the figures, leaves the wall time in $wall
  local label=$1 report=$work/time.txt
  shift
  /usr/bin/time -v -o "$report" "$@" < "$stdin" > /dev/null
  wall=$(awk -F': ' '/Elapsed/ { n = split($2, t, ":"); s = 0;
                                  for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s }' "$report")
  local cpu peak
  cpu=$(awk -F': ' '/User time/ { u = $2 } /System time/ { s = $2 } END { print u + s }' "$report")
  peak=$(awk -F': ' '/Maximum resident/ { printf "%.0f", $2 / 1024 }' "$report")
  printf '%-16s %5d x %-9s %-4s wall %7.2f s  cpu %7.2f s  peak %5d MB\n' \
    "$label" "$frames" "$size" "$format" "$wall" "$cpu" "$peak"
}

printf 'input %s: %d MB\n' "$format" $(( $(stat -c %s "$input") / 1048576 ))
measure "ffmpeg decode" "${decode[@]}"
ffmpeg_wall=$wall
measure "rmtool encode" "${encode[@]}"
printf 'output: %d MB; encode / decode elapsed: %.2f\n' \
  $(( $(stat -c %s "$work/out.rm") / 1048576 )) "$(awk -v a="$wall" -v b="$ffmpeg_wall" 'BEGIN { print a / b }')"
