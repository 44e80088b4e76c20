# -loop 2 ends by itself with 0, with every drawn frame presented on screen; a damaged file
# shows the "Kinaro Error" box and ends with 255; -x opens full-screen without a menu.
source "$E2E_LIB"
start_x 800x600
make_animation "$WORK/anim.rm" 8 200x150

KINARO_GTK_STATS=1 start_kinaro -loop 2 "$WORK/anim.rm"
expect_exit 20 0 "-loop 2"
read -r puts presented < <(sed -n 's/^kinaro-gtk: bitmap puts \([0-9]*\), presented \([0-9]*\)$/\1 \2/p' \
    "$WORK/kinaro.err")
[ -n "${puts:-}" ] && [ "$puts" -ge 16 ] && [ "$puts" = "$presented" ] ||
    fail "frames put ${puts:-?}, presented ${presented:-?}"
ok "-loop 2: all $puts frames put were presented"

# Buffered from the command line: the progress window counts and goes, the loop plays.
KINARO_GTK_STATS=1 start_kinaro -b -loop 2 "$WORK/anim.rm"
expect_exit 20 0 "-b -loop 2"
grep -q "^kinaro-gtk: bitmap puts 1[6-9]" "$WORK/kinaro.err" || fail "-b -loop 2 did not play the frames"

cp "$WORK/anim.rm" "$WORK/damaged.rm"
printf '\003' | dd of="$WORK/damaged.rm" bs=1 seek=12 conv=notrunc status=none  # 3 components
start_kinaro "$WORK/damaged.rm"
box=$(find_window "Kinaro Error") || true
[ -n "$box" ] || fail "no error box for a damaged file"
keys "$box" Return
expect_exit 5 255 "damaged file"

# A frame cut short in the middle of playing: the error comes from inside the window
# procedure, the window goes, and the box stays until it is answered.
headers=$(od -An -tx1 -v -w512 "$WORK/anim.rm" | awk '$1 == "00" && $2 == "00" && $3 == "00" && $4 == "e0" { print NR - 1 }')
fifth=$(sed -n 6p <<<"$headers")
head -c $(((fifth + 5) * 512)) "$WORK/anim.rm" >"$WORK/cut.rm"
start_kinaro -p 30 -loop 1 "$WORK/cut.rm"
box=$(find_window "Kinaro Error") || true
[ -n "$box" ] || fail "no error box for a frame cut short"
window_gone Kinaro || fail "the viewer window stayed behind the error box"
sleep 0.5
find_window "Kinaro Error" 1 >/dev/null || fail "the error box closed by itself"
ok "a frame cut short: the window goes, the error box stays"
keys "$box" Return
expect_exit 5 255 "a frame cut short"

start_kinaro -x "$WORK/anim.rm"
top=$(find_window Kinaro) || true
[ -n "$top" ] || fail "no viewer window"
wait_for 5 bash -c "[ \"\$(xwininfo -id $top | awk '/Width:/{w=\$2} /Height:/{h=\$2} END{print w \"x\" h}')\" = 800x600 ]" ||
    fail "full-screen window is $(size_of "$top"), not 800x600"
client=$(client_of "$top")
[ "$(size_of "$client")" = "800x600" ] || fail "client area $(size_of "$client"): a menu is there"
ok "-x: the window covers the screen and the client area is all of it (no menu)"
wait_for 5 frame_is "$client" 5 0 300 225 || fail "picture not centred in the full screen"
ok "-x: picture centred"
keys "$top" Escape
expect_exit 5 0 "Escape in full-screen"
