#!/usr/bin/env bash
# Checks the code style (scripts/check-style.sh), builds everything and runs every test: the
# normal build, made as a distribution makes its packages (Release with Debian's hardening
# flags: unit tests, end-to-end tests of the GTK viewer under Xvfb, tools, the installed tree
# and the Debian package), the sanitizer build (ASan + UBSan + leak detection: unit tests,
# reader crash files and fuzz corpus), and the Windows build under Wine. Warnings are errors
# in all three.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

scripts/install-deps.sh

status=0
echo "== code style"
scripts/check-style.sh || status=1

echo "== normal build (Release, hardening flags of dpkg-buildflags)"
flags() { dpkg-buildflags --get "$1"; }
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKINARO_WERROR=ON \
  -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build build -j"$jobs"

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKINARO_WERROR=ON -DKINARO_SANITIZE=ON \
  -DKINARO_GTK=OFF -DKINARO_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"

echo "== decoder's portable path (no SIMD, as a build without SSE2 has it): its unit tests"
cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DKINARO_WERROR=ON \
  -DKINARO_PORTABLE_DECODER=ON -DKINARO_GTK=OFF -DKINARO_BENCH=OFF >/dev/null
cmake --build build-portable -j"$jobs" --target rm_tests

echo "== windows build (MinGW-w64 cross compiler)"
cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKINARO_WERROR=ON \
  >/dev/null
cmake --build build-mingw -j"$jobs"

echo "== sanitizer tests (leak detection on)"
(cd build-asan && ctest --output-on-failure -j"$jobs") || status=1
echo "== tests"
(cd build && ctest --output-on-failure -j"$jobs") || status=1
echo "== decoder's portable path"
(cd build-portable && ctest --output-on-failure -j"$jobs" -R 'Decoder|Differential|Safety|Reference') ||
  status=1
echo "== windows smoke test under Wine"
(cd build-mingw && ctest --output-on-failure) || status=1
exit $status
