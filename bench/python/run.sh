#!/usr/bin/env bash
# Reading speed of the Python module against rmtool check, on the same file in one run.
# Makes FRAMES frames of WIDTHxHEIGHT with the demo generator, then, ROUNDS times in turn:
# `rmtool check` (the whole command), and in one Python process (Debian's python3) opening
# the file and reading every frame into NumPy arrays, once dropping each frame after it is
# read and once keeping all of them, and, for comparison, NumPy making as many fresh arrays
# of a frame's size (what keeping frames costs in memory alone). Prints the median times,
# their ratio to rmtool check, and each run's peak memory (maximum RSS, /usr/bin/time), from
# which the bytes held per frame follow.
#   bench/python/run.sh [BUILD_DIR] [FRAMES] [WIDTHxHEIGHT] [ROUNDS]
# defaults: build 100 1920x1080 5
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
frames=${2:-100}
size=${3:-1920x1080}
rounds=${4:-5}
rmtool=$build/tools/rmtool/rmtool
demo=$build/tools/demo/kinaro_demo
[ -x "$rmtool" ] && [ -x "$demo" ] && [ -f "$build/python/kinaro/__init__.py" ] ||
  { echo "build first: $rmtool, $demo, $build/python/kinaro" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/kinaro-python-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$demo" "$work/bench.rm" --frames "$frames" --size "$size" >/dev/null
PYTHONPATH="$PWD/$build/python" /usr/bin/python3 bench/python/read_bench.py \
  "$rmtool" "$work/bench.rm" "$rounds"
