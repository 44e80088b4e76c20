#!/usr/bin/env bash
# Installs whatever this project needs that the machine lacks (Debian 12, as root).
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ clang pkg-config git
  clang-format cppcheck
  libgtest-dev libgmock-dev libbenchmark-dev
  libgtk-3-dev
  xvfb xdotool imagemagick x11-utils time libxdamage-dev
  libpng-dev libgif-dev libimagequant-dev nlohmann-json3-dev ffmpeg
  g++-mingw-w64-x86-64 wine64 wine unzip icoutils
  dpkg-dev file lintian librsvg2-bin desktop-file-utils appstream mandoc shared-mime-info
  xdg-utils libfile-mimeinfo-perl
  python3-dev python3-numpy pybind11-dev python3-pil python3-pytest
  emscripten chromium nodejs
  wixl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm comes with nodejs where that is a newer Node than Debian's (and then conflicts with
# Debian's npm package).
command -v npm >/dev/null || missing+=(npm)

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The browser tests' driver, playwright-core, at the version of tests/web/package-lock.json
# (it drives Debian's chromium and downloads no browser).
web_tests="$(dirname "$0")/../tests/web"
if ! cmp -s "$web_tests/package-lock.json" "$web_tests/node_modules/.kinaro-lock"; then
  (cd "$web_tests" && npm ci --no-audit --no-fund --loglevel=error &&
    cp package-lock.json node_modules/.kinaro-lock)
fi
