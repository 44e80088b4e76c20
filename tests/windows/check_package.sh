#!/usr/bin/env bash
# The Windows package as a user unpacks it: one folder with kinaro.exe and README.txt, the
# program still carrying its manifest and version after stripping, the readme in CR LF lines.
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
[ "$files" = "kinaro-1.62-win64/README.txt kinaro-1.62-win64/kinaro.exe " ] ||
  fail "archive holds: $files"
unzip -q "$zip" -d "$work/unpacked"
dir="$work/unpacked/kinaro-1.62-win64"

for type in 16 24; do
  wrestool -l --type=$type --name=1 "$dir/kinaro.exe" | grep -q . ||
    fail "packaged kinaro.exe lacks resource $type/1"
done
[ "$(grep -c $'\r$' "$dir/README.txt")" -eq "$(wc -l <"$dir/README.txt")" ] ||
  fail "README.txt has lines not ending in CR LF"
grep -q '^Kinaro 1.62 for Windows' "$dir/README.txt" || fail "README.txt is not the readme"
[ $status -eq 0 ] && echo "ok  : kinaro.exe (manifest and version kept) and README.txt (CR LF)"
exit $status
