#!/usr/bin/env bash
# Checks the code style (scripts/check-style.sh), builds everything and runs every test: the
# normal build (unit tests, end-to-end tests of the GTK viewer under Xvfb, tools), the
# sanitizer build (ASan + UBSan + leak detection: unit tests, reader crash files and fuzz
# corpus), and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

scripts/install-deps.sh

status=0
echo "== code style"
scripts/check-style.sh || status=1

echo "== normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKINARO_SANITIZE=ON -DKINARO_GTK=OFF \
  -DKINARO_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"

echo "== windows build (MinGW-w64 cross compiler)"
cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build-mingw -j"$jobs"

echo "== sanitizer tests (leak detection on)"
(cd build-asan && ctest --output-on-failure -j"$jobs") || status=1
echo "== tests"
(cd build && ctest --output-on-failure -j"$jobs") || status=1
echo "== windows smoke test under Wine"
(cd build-mingw && ctest --output-on-failure) || status=1
exit $status
