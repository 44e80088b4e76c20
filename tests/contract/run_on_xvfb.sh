# Runs a program under an X server of its own (-displayfd: no fixed display number).
set -euo pipefail
work=$(mktemp -d /tmp/kinaro-contract.XXXXXX)
Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" >"$work/xvfb.log" 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -1 "$work/display")" GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
export HOME="$work"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
"$@"
