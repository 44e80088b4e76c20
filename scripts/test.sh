#!/usr/bin/env bash
# Checks the code style (scripts/check-style.sh), builds everything and runs every test: the
# normal build, made as a distribution makes its packages (Release with Debian's hardening
# flags: unit tests, end-to-end tests of the GTK viewer under Xvfb, tools, the installed tree
# and the Debian package), the sanitizer build (ASan + UBSan + leak detection: unit tests,
# reader crash files and fuzz corpus), the Python package's tests (pytest), the Windows build
# under Wine (kinaro.exe, the installer and the thumbnail handler), and the web page
# (Emscripten: the contract suite under Node, the page in headless Chromium, its ZIP package).
# Warnings are errors in all four builds. After each build, every test must carry its labels
# (scripts/check-test-labels.sh).
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
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" -DCMAKE_MODULE_LINKER_FLAGS="$(flags LDFLAGS)" \
  >/dev/null
cmake --build build -j"$jobs"
scripts/check-test-labels.sh build || status=1

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKINARO_WERROR=ON -DKINARO_SANITIZE=ON \
  -DKINARO_GTK=OFF -DKINARO_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
scripts/check-test-labels.sh build-asan || status=1

echo "== decoder's portable path (no SIMD, as a build without SSE2 has it): its unit tests"
cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DKINARO_WERROR=ON \
  -DKINARO_PORTABLE_DECODER=ON -DKINARO_GTK=OFF -DKINARO_BENCH=OFF >/dev/null
cmake --build build-portable -j"$jobs" --target rm_tests
scripts/check-test-labels.sh build-portable || status=1

echo "== windows build (MinGW-w64 cross compiler; kinaro.exe, the thumbnail handler, the MSI)"
# The thumbnail handler's test compares its pixels with rmtool thumbnail of the normal build.
cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKINARO_WERROR=ON \
  -DKINARO_RMTOOL="$root/build/tools/rmtool/rmtool" >/dev/null
cmake --build build-mingw -j"$jobs"
scripts/check-test-labels.sh build-mingw || status=1

echo "== web build (Emscripten)"
cmake -S . -B build-web -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake -DKINARO_WERROR=ON >/dev/null
cmake --build build-web -j"$jobs"
scripts/check-test-labels.sh build-web || status=1

echo "== sanitizer tests (leak detection on)"
(cd build-asan && ctest --output-on-failure -j"$jobs") || status=1
echo "== tests"
(cd build && ctest --output-on-failure -j"$jobs") || status=1
echo "== python tests (pytest with Debian's python3, against build/python)"
if [ ! -f build/python/kinaro/__init__.py ]; then
  echo "FAIL: build/python holds no kinaro package (KINARO_PYTHON off?)"
  status=1
else
  # Exit status 5 means that no test was collected, which fails like any other.
  (cd build && PYTHONPATH="$root/build/python" /usr/bin/python3 -m pytest -q -p no:cacheprovider \
    "$root/python/tests") || { echo "FAIL: python tests (pytest status $?)"; status=1; }
fi
echo "== decoder's portable path"
(cd build-portable && ctest --output-on-failure -j"$jobs" -R 'Decoder|Differential|Safety|Reference') ||
  status=1
echo "== windows tests under Wine (smoke test, installer round trip, thumbnail handler)"
(cd build-mingw && ctest --output-on-failure) || status=1
echo "== web page: contract suite under Node, browser tests in Chromium, the ZIP package"
(cd build-web && ctest --output-on-failure) || status=1
(cd tests/web && KINARO_WEB_DIR="$root/build-web/web" KINARO_RMTOOL="$root/build/tools/rmtool/rmtool" \
  KINARO_DEMO="$root/build/tools/demo/kinaro_demo" timeout 600 node --test page.test.mjs) || status=1
(cd build-web && rm -f kinaro-*-web.zip && cpack >/dev/null &&
  unzip -l kinaro-*-web.zip | grep -q 'kinaro-[0-9.]*-web/index.html$') || { echo "web package"; status=1; }
exit $status
