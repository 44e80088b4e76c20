#!/usr/bin/env bash
# kinaro.exe must run on a bare Windows: every DLL it imports is one that Windows ships.
#   check_imports.sh OBJDUMP KINARO_EXE
set -euo pipefail
objdump=$1
exe=$2
shipped="kernel32.dll user32.dll gdi32.dll comdlg32.dll winmm.dll msvcrt.dll"
status=0
imports=$("$objdump" -p "$exe" | awk '/DLL Name:/ { print tolower($3) }')
[ -n "$imports" ] || { echo "FAIL: no imports found in $exe"; exit 1; }
for dll in $imports; do
  case " $shipped " in
    *" $dll "*) echo "ok  : imports $dll" ;;
    *) echo "FAIL: imports $dll, which Windows does not ship"; status=1 ;;
  esac
done
exit $status
