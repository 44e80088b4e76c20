# Without a display no message is lost: boxes are written to stderr as "Title: text".
source "$E2E_LIB"
make_animation "$WORK/anim.rm" 2 32x32
unset DISPLAY WAYLAND_DISPLAY

status=0
"$KINARO" -v >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 0 ] || fail "-v ended with $status"
[ "$(cat "$WORK/err")" = "Kinaro Version: Kinaro 1.62 - MSWIN" ] || fail "-v wrote: $(cat "$WORK/err")"
ok "-v without a display: the box on stderr, status 0"

status=0
"$KINARO" "$WORK/anim.rm" >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" = 255 ] || fail "a file without a display ended with $status"
[ "$(cat "$WORK/err")" = "Kinaro Error: Error: Cannot initialize graphics" ] ||
    fail "no error box on stderr: $(cat "$WORK/err")"
ok "a file without a display: 'Cannot initialize graphics' on stderr, status 255"
