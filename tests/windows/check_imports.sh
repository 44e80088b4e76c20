#!/usr/bin/env bash
# kinaro.exe and the thumbnail handler must run on a bare Windows: every DLL they import is
# one that Windows ships.
#   check_imports.sh OBJDUMP BINARY...
set -euo pipefail
objdump=$1
shift
shipped="kernel32.dll user32.dll gdi32.dll comdlg32.dll winmm.dll msvcrt.dll"
status=0
for binary in "$@"; do
  name=$(basename "$binary")
  imports=$("$objdump" -p "$binary" | awk '/DLL Name:/ { print tolower($3) }')
  [ -n "$imports" ] || { echo "FAIL: no imports found in $name"; status=1; }
  for dll in $imports; do
    case " $shipped " in
      *" $dll "*) echo "ok  : $name imports $dll" ;;
      *) echo "FAIL: $name imports $dll, which Windows does not ship"; status=1 ;;
    esac
  done
done
exit $status
