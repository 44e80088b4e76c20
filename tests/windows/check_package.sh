#!/usr/bin/env bash
# The Windows package as a user unpacks it: one folder with kinaro.exe, README.txt and
# LICENSE.txt, the program still carrying its manifest and version after stripping, both texts
# in CR LF lines.
#   check_package.sh CPACK CPACK_CONFIG
set -euo pipefail
cpack=$1
config=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/kinaro-zip.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

"$cpack" -G ZIP --config "$config" -B "$work" >/dev/null
zip="$work/kinaro-1.62-win64.zip"
[ -f "$zip" ] || { echo "FAIL: cpack made no kinaro-1.62-win64.zip"; ls "$work"; exit 1; }
echo "ok  : kinaro-1.62-win64.zip, $(stat -c %s "$zip") bytes"

files=$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')
[ "$files" = "kinaro-1.62-win64/LICENSE.txt kinaro-1.62-win64/README.txt kinaro-1.62-win64/kinaro.exe " ] ||
  fail "archive holds: $files"
unzip -q "$zip" -d "$work/unpacked"
dir="$work/unpacked/kinaro-1.62-win64"

for type in 16 24; do
  wrestool -l --type=$type --name=1 "$dir/kinaro.exe" | grep -q . ||
    fail "packaged kinaro.exe lacks resource $type/1"
done
for text in README.txt LICENSE.txt; do
  [ "$(grep -c $'\r$' "$dir/$text")" -eq "$(wc -l <"$dir/$text")" ] ||
    fail "$text has lines not ending in CR LF"
done
grep -q '^Kinaro 1.62 for Windows' "$dir/README.txt" || fail "README.txt is not the readme"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$dir/LICENSE.txt" &&
  grep -q 'Version 3, 29 June 2007' "$dir/LICENSE.txt" || fail "LICENSE.txt is not the GPL 3"
[ $status -eq 0 ] && echo "ok  : kinaro.exe (manifest and version kept), README.txt and LICENSE.txt (CR LF)"
exit $status
