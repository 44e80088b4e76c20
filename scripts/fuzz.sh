#!/usr/bin/env bash
# Builds the reader's libFuzzer target with clang (ASan + UBSan) and runs it.
#   scripts/fuzz.sh [SECONDS]       (default 600)
# New inputs go to $BUILD_DIR/corpus; inputs that crash go to fuzz/crashes/, where the test
# command replays them from then on. Seeds: fuzz/corpus and the reader's test files.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=${BUILD_DIR:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKINARO_FUZZ=ON -DKINARO_SANITIZE=ON -DKINARO_GTK=OFF -DKINARO_TESTS=OFF \
  -DKINARO_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target rm_fuzzer

mkdir -p "$build/corpus" fuzz/crashes
"$build/fuzz/rm_fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
  -artifact_prefix=fuzz/crashes/ -print_final_stats=1 \
  "$build/corpus" fuzz/corpus tests/rm/good tests/rm/crashers
