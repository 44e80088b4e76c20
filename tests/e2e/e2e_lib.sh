# Shared by the end-to-end scripts: an X server of our own, the viewer in the background,
# windows, screenshots, pixels and the frame counter of the demo pictures. Every wait has a
# deadline; the X server and the viewer are ended whatever happens.
set -euo pipefail
: "${KINARO:?}" "${KINARO_DEMO:?}" "${KINARO_E2E_X:?}"
CONVERT=/usr/bin/convert   # /usr/local/bin/convert may be a stand-in
COMPARE=/usr/bin/compare
WORK=$(mktemp -d /tmp/kinaro-e2e.XXXXXX)
XPID=""
KPID=""

cleanup() {
    [ -n "$KPID" ] && kill "$KPID" 2>/dev/null || true
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    [ -s "$WORK/kinaro.err" ] && sed 's/^/  kinaro stderr: /' "$WORK/kinaro.err" >&2
    exit 1
}
ok() { echo "ok - $*"; }

# Polls `command...` every 50 ms until it succeeds or `seconds` have passed.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.05
    done
}

start_x() {
    local size=${1:-1024x768}
    : >"$WORK/display"
    Xvfb -displayfd 9 -screen 0 "${size}x24" -nolisten tcp 9>"$WORK/display" \
        >"$WORK/xvfb.log" 2>&1 &
    XPID=$!
    wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start"
    export DISPLAY=":$(head -1 "$WORK/display")"
    export GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory HOME="$WORK/home"
    unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
    mkdir -p "$HOME"
}

# The test animation: `frames` frames of `size`, frame 0 also as the picture it must show.
make_animation() {
    local file=$1 frames=$2 size=$3
    "$KINARO_DEMO" "$file" --frames "$frames" --size "$size" --ppm 0 "${file%.rm}-0.ppm" ||
        fail "cannot write $file"
}

start_kinaro() {
    "$KINARO" "$@" >"$WORK/kinaro.out" 2>"$WORK/kinaro.err" &
    KPID=$!
}

# Starts the viewer on the 200x150 test animation with `options...` and waits for its window
# to show frame 0; sets `top` (the window) and `client` (its client area).
square=5  # the frame counter's squares in a 200-pixel-wide demo picture
open_viewer() {
    start_kinaro "$@" "$WORK/anim.rm"
    top=$(find_window Kinaro) || true
    [ -n "$top" ] || fail "no viewer window"
    client=$(client_of "$top")
    wait_for 5 frame_is "$client" $square 0 || fail "frame 0 not shown first"
}

# Waits up to `seconds` for the viewer to end and checks its exit status.
expect_exit() {
    local seconds=$1 expected=$2 what=$3
    wait_for "$seconds" bash -c "! kill -0 $KPID 2>/dev/null" || fail "$what: kinaro did not end"
    local status=0
    wait "$KPID" || status=$?
    KPID=""
    [ "$status" = "$expected" ] || fail "$what: exit status $status, not $expected"
    ok "$what: exit status $expected"
}

# The visible window whose title is exactly `name`.
find_window() {
    timeout "${2:-10}" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -1
}

window_gone() { ! xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }

# The client area: the largest child window of a top-level window.
client_of() {
    xwininfo -children -id "$1" | awk '
        /^ +0x[0-9a-f]+ / { split($0, a, /  +/); for (i in a) if (a[i] ~ /^[0-9]+x[0-9]+\+/) {
            split(a[i], g, /[x+]/); area = g[1] * g[2]; if (area > best) { best = area; id = $1 } } }
        END { print id }'
}

# "WxH" of a window.
size_of() {
    xwininfo -id "$1" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }'
}

shot() { import -silent -window "$1" "$2"; }

# Hex colours of the pixels "x,y" of an image file, space separated.
pixels() {
    local file=$1
    shift
    local format=""
    for p in "$@"; do format+="%[hex:p{$p}] "; done
    "$CONVERT" "$file" -format "$format" info:
}

# The frame number the demo picture shows in its counter (8 squares of `square` pixels, the
# picture's top left corner at x0,y0 in the client area).
frame_number() {
    local client=$1 square=$2 x0=${3:-0} y0=${4:-0}
    shot "$client" "$WORK/counter.png"
    local points=() bit
    for bit in 0 1 2 3 4 5 6 7; do
        points+=("$((x0 + square + bit * 2 * square + square / 2)),$((y0 + square + square / 2))")
    done
    local number=0 colour
    for colour in $(pixels "$WORK/counter.png" "${points[@]}"); do
        case $colour in
            FFFFFF) number=$((number * 2 + 1)) ;;
            4D4D4D) number=$((number * 2)) ;;
            *) echo "?"; return ;;
        esac
    done
    echo "$number"
}

frame_is() { [ "$(frame_number "$1" "$2" "${4:-0}" "${5:-0}")" = "$3" ]; }

# Keys to a window, which gets the focus first (without a window manager nothing else
# would give it).
keys() {
    local window=$1
    shift
    xdotool windowfocus --sync "$window" key --delay 30 "$@"
}
