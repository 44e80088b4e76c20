# The Wine set-up of the tests under Wine, sourced by them: a temporary folder `work` (removed
# on exit with its Wine prefix and X server), a private X server (Xvfb) on a free display,
# and a fresh 64-bit prefix without Mono, Gecko or debugger, with the registry settings below
# and those in `wine_extra_settings` (REGEDIT4 lines, may be empty). Also `seconds` and
# `elapsed START` for timings.
work=$(mktemp -d "${TMPDIR:-/tmp}/kinaro-wine.XXXXXX")
xvfb_pid=""
cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 30 wineserver -k >/dev/null 2>&1 || true
  fi
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f s", b - a }'; }

# A free display number, never a fixed one: other programs may hold it.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
export HOME="$work/home"
mkdir -p "$HOME"
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer, no debugger, and no menu entries on the Linux desktop made
# from Start menu shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d"

start=$(seconds)
# One server for all runs (it would otherwise start and stop with every process).
mkdir -p "$WINEPREFIX"
wineserver -p
timeout 180 wineboot --init >/dev/null 2>&1
# No window manager: Wine must manage its windows itself (otherwise every close waits 2 s and
# focus breaks), and a crash must end the process instead of waiting on a dialog.
cat >"$work/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

REG
printf '%s\n' "${wine_extra_settings:-}" >>"$work/settings.reg"
timeout 60 wine regedit /S "$(echo "Z:$work/settings.reg" | tr / '\\')" >/dev/null 2>&1
if ! timeout 60 wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed 2>/dev/null |
    tr -d '\r' | grep -q 'REG_SZ *N$'; then
  echo "FAIL: the Wine settings did not reach the registry"
  exit 1
fi
echo "Wine prefix ready in $(elapsed "$start")"

