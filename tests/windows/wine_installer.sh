#!/usr/bin/env bash
# The Windows Installer package under Wine: install it as an administrator would, check what
# it wrote (files, Start menu shortcut, registry), ask the installed thumbnail handler for
# thumbnails through COM and compare them with rmtool thumbnail's, install a package of a
# higher version over it (one product remains), remove it, and check that nothing it wrote
# is left.
#   wine_installer.sh MSI UPGRADE_MSI THUMBNAIL_CLIENT_EXE RMTOOL SOURCE_DIR
set -euo pipefail
msi=$(realpath "$1")
upgrade_msi=$(realpath "$2")
client=$(realpath "$3")
rmtool=$(realpath "$4")
source_dir=$(realpath "$5")

source "$(dirname "$0")/wine_prefix.sh"

status=0
fail() { echo "FAIL: $*"; status=1; }
ok() { echo "ok  : $*"; }
winpath() { echo "Z:$1" | tr / '\\'; }
program_files="$WINEPREFIX/drive_c/Program Files/Kinaro"
# Wine puts the shortcuts of a per-machine package into the installing user's Start menu.
shortcut() {
  local lnk
  for lnk in "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kinaro.lnk" \
    "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs/Kinaro.lnk; do
    [ -f "$lnk" ] && echo "$lnk"
  done
  return 0
}
installed_files="LICENSE.txt README.txt kinaro-document.ico kinaro-thumbnails.dll kinaro.exe"

# The machine's registry and the C: drive as text, to compare before and after.
snapshot() {
  timeout 60 wine regedit /E "$(winpath "$work/hklm.reg")" 'HKEY_LOCAL_MACHINE\Software' \
    >/dev/null 2>&1
  iconv -f UTF-16LE -t UTF-8 "$work/hklm.reg" | tr -d '\r' | grep -v '^$' >"$1.reg"
  (cd "$WINEPREFIX/drive_c" && find . | sort) >"$1.files"
}
# The value NAME (empty: the default value) of KEY, as `reg query` prints it.
reg_value() {
  local key=$1 name=$2
  if [ -z "$name" ]; then
    timeout 60 wine reg query "$key" /ve 2>/dev/null | tr -d '\r' | awk -F'    ' 'NF >= 4 { print $4 }'
  else
    timeout 60 wine reg query "$key" /v "$name" 2>/dev/null | tr -d '\r' |
      awk -F'    ' -v n="$name" '$2 == n { print $4 }'
  fi
}
expect_value() {  # KEY NAME EXPECTED
  local got
  got=$(reg_value "$1" "$2")
  [ "$got" = "$3" ] && ok "$1 ${2:-(default)} = $3" || fail "$1 ${2:-(default)} is '$got', not '$3'"
}
uninstall_entries() {  # the Apps entries named Kinaro, one line each: key, version
  grep -B1 -A40 '^\[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{' "$1" |
    awk '/^\[/ { key = $0 } /^"DisplayName"="Kinaro"$/ { print key }' | sort -u
}

# A program that has .rm already: its default must stay.
timeout 60 wine reg add 'HKLM\Software\Classes\.rm' /ve /d Other.Viewer /f >/dev/null 2>&1
snapshot "$work/before"

start=$(seconds)
echo "== install $(basename "$msi")"
timeout 300 wine msiexec /i "$(winpath "$msi")" /qn >/dev/null 2>&1 || fail "msiexec /i ended with $?"
echo "installed in $(elapsed "$start")"
snapshot "$work/installed"

have=$(cd "$program_files" 2>/dev/null && ls | sort | tr '\n' ' ')
[ "$have" = "$installed_files " ] && ok "Program Files\\Kinaro holds $have" ||
  fail "Program Files\\Kinaro holds '$have'"
cmp -s "$program_files/LICENSE.txt" <(sed 's/$/\r/' "$source_dir/LICENSE") &&
  ok "LICENSE.txt is the licence" || fail "LICENSE.txt is not LICENSE in CR LF lines"
lnk=$(shortcut)
[ -n "$lnk" ] && ok "Start menu shortcut ${lnk#"$WINEPREFIX/drive_c/"}" || fail "no Start menu shortcut"
grep -aq 'Kinaro\\kinaro.exe' "$lnk" 2>/dev/null && ok "the shortcut points at Kinaro\\kinaro.exe" ||
  fail "the shortcut does not name Kinaro\\kinaro.exe"

entries=$(uninstall_entries "$work/installed.reg")
if [ "$(echo "$entries" | grep -c .)" -eq 1 ]; then
  ok "one Apps entry: $entries"
  entry=$(echo "$entries" | tr -d '[]')
  expect_value "$entry" DisplayVersion 1.62
  expect_value "$entry" Publisher "The Kinaro developers"
  reg_value "$entry" Comments | grep -q 'GPL-3.0-or-later' && ok "the entry names the licence" ||
    fail "the entry's comments do not name the licence"
  product=${entry##*\\}
  icon="$WINEPREFIX/drive_c/windows/Installer/$product/kinaro.ico"
  [ "$(head -c 4 "$icon" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 00000100 ] &&
    ok "the entry's icon, kinaro.ico, is published" || fail "no icon published for the entry"
else
  fail "Apps entries after install: '$entries'"
fi

dir='C:\Program Files\Kinaro\'
clsid='{96816196-6D97-4345-8F56-40EE9F811566}'
classes='HKLM\Software\Classes'
expect_value "$classes\\Kinaro.RasterMetafile" "" "Raster Metafile"
expect_value "$classes\\Kinaro.RasterMetafile\\DefaultIcon" "" "${dir}kinaro-document.ico"
expect_value "$classes\\Kinaro.RasterMetafile\\shell\\open\\command" "" "\"${dir}kinaro.exe\" \"%1\""
expect_value "$classes\\Kinaro.RasterMetafile\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}" "" "$clsid"
expect_value "$classes\\.rm\\OpenWithProgids" Kinaro.RasterMetafile ""
timeout 60 wine reg query "$classes\\.rm\\OpenWithProgids" /v Kinaro.RasterMetafile >/dev/null 2>&1 &&
  ok ".rm\\OpenWithProgids names Kinaro.RasterMetafile" || fail ".rm\\OpenWithProgids lacks Kinaro.RasterMetafile"
expect_value "$classes\\.rm" "" Other.Viewer
timeout 60 wine reg query "$classes\\Applications\\kinaro.exe\\SupportedTypes" /v .rm >/dev/null 2>&1 &&
  ok "Applications\\kinaro.exe\\SupportedTypes lists .rm" || fail "SupportedTypes lacks .rm"
expect_value 'HKLM\Software\RegisteredApplications' Kinaro 'Software\Kinaro\Capabilities'
expect_value 'HKLM\Software\Kinaro\Capabilities\FileAssociations' .rm Kinaro.RasterMetafile
expect_value "$classes\\CLSID\\$clsid\\InprocServer32" "" "${dir}kinaro-thumbnails.dll"
expect_value "$classes\\CLSID\\$clsid\\InprocServer32" ThreadingModel Apartment

echo "== the thumbnail handler, asked through COM"
mkdir -p "$work/files" "$work/expected" "$work/got"
cp "$source_dir"/tests/rm/good/*.rm "$source_dir"/tests/rm/crashers/*.rm "$work/files/"
# Frame 0 followed by many more: only frame 0's blocks may be read.
"$rmtool" join "$work/files/many-frames.rm" "$source_dir"/tests/rm/good/*.rm \
  "$source_dir"/tests/rm/good/*.rm "$source_dir"/tests/rm/good/*.rm >/dev/null
head -c 700 "$source_dir/tests/rm/good/sizes-and-depths.rm" >"$work/files/cut-in-the-header.rm"
head -c 100000 /dev/urandom >"$work/files/noise.rm"
for size in 256 7; do
  rm -f "$work/got"/*.ppm
  timeout 300 wine "$client" "$(winpath "$work/got")" $size \
    $(for f in "$work"/files/*.rm; do winpath "$f"; done) 2>/dev/null | tr -d '\r' >"$work/client.txt" ||
    fail "the client (size $size) ended with $?"
  grep -E '^(ok  |FAIL): ' "$work/client.txt" || true
  compared=0
  for f in "$work"/files/*.rm; do
    name=$(basename "$f")
    line=$(grep -F "$name " "$work/client.txt" | grep -vE '^(ok  |FAIL): ' || true)
    if "$rmtool" thumbnail -s $size "$f" "$work/expected/$name.png" 2>/dev/null; then
      read -r _ outcome _ _ furthest <<<"$line"
      if [ "$outcome" != ok ]; then
        fail "size $size: $name: rmtool draws a thumbnail, the handler says: ${line:-nothing}"
        continue
      fi
      differing=$(compare -metric AE "$work/expected/$name.png" "$work/got/$name.ppm" null: 2>&1 || true)
      [ "$differing" = 0 ] || fail "size $size: $name: $differing pixels differ from rmtool's"
      last=$("$rmtool" info --json -f 1,1,1 "$f" | grep -o '"stream_last_block": [0-9]*' | awk '{ print $2 }')
      [ "$furthest" -le $(((last + 1) * 512)) ] ||
        fail "size $size: $name: read $furthest bytes, frame 0 ends at $(((last + 1) * 512))"
      compared=$((compared + 1))
    else
      case "$line" in
        "$name failed "*) ;;
        *) fail "size $size: $name: rmtool fails, the handler says: ${line:-nothing}" ;;
      esac
    fi
  done
  ok "size $size: $(grep -c ' ok ' "$work/client.txt") thumbnails equal rmtool's ($compared compared, within frame 0's blocks), $(grep -c ' failed ' "$work/client.txt") failures where rmtool fails too"
done
grep -q '^many-frames.rm ok' "$work/client.txt" || fail "many-frames.rm was not drawn"

echo "== upgrade to $(basename "$upgrade_msi")"
timeout 300 wine msiexec /i "$(winpath "$upgrade_msi")" /qn >/dev/null 2>&1 ||
  fail "msiexec /i of the upgrade ended with $?"
snapshot "$work/upgraded"
entries=$(uninstall_entries "$work/upgraded.reg")
if [ "$(echo "$entries" | grep -c .)" -eq 1 ]; then
  expect_value "$(echo "$entries" | tr -d '[]')" DisplayVersion 1.99
else
  fail "Apps entries after the upgrade: '$entries'"
fi
[ -f "$program_files/kinaro.exe" ] && [ -n "$(shortcut)" ] && ok "files and shortcut still there" ||
  fail "the upgrade lost files or the shortcut"

echo "== remove"
entry=$(echo "$entries" | head -n1 | tr -d '[]')
product=${entry##*\\}
timeout 300 wine msiexec /x "$product" /qn >/dev/null 2>&1 || fail "msiexec /x ended with $?"
snapshot "$work/removed"
# Wine's Windows Installer leaves its own bookkeeping keys behind, empty, and its cache folder.
installer_keys='^> \[HKEY_LOCAL_MACHINE\\Software\\(Classes|Microsoft\\Windows\\CurrentVersion)\\Installer(\\[^]]*)?\]$'
left=$(diff "$work/before.reg" "$work/removed.reg" | grep '^[<>]' | grep -vE "$installer_keys" || true)
[ -z "$left" ] && ok "the registry is as before the install (Windows Installer's empty keys aside)" ||
  { fail "left in the registry:"; echo "$left" | head -40; }
left=$(diff "$work/before.files" "$work/removed.files" | grep '^[<>]' | grep -vx '> ./windows/Installer' || true)
[ -z "$left" ] && ok "drive C: holds the same files as before the install" ||
  { fail "left on drive C:"; echo "$left" | head -40; }
expect_value "$classes\\.rm" "" Other.Viewer
echo "Installer test ran in $(elapsed "$start")"
exit $status
