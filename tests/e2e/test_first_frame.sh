# The first picture fills the client area exactly, pixel for pixel as the file codes it;
# resizing re-centres it and paints the borders black; closing the window ends with 0.
source "$E2E_LIB"
start_x
make_animation "$WORK/anim.rm" 4 200x150
start_kinaro "$WORK/anim.rm"
top=$(find_window Kinaro) || true
[ -n "$top" ] || fail "no viewer window"
client=$(client_of "$top")
[ "$(size_of "$client")" = "200x150" ] || fail "client area is $(size_of "$client"), not 200x150"
ok "client area sized to the picture"

same_as_frame0() {
    local x=$1 y=$2
    shot "$client" "$WORK/shot.png"
    "$CONVERT" "$WORK/shot.png" -crop "200x150+$x+$y" +repage "$WORK/picture.png"
    local differ
    differ=$("$COMPARE" -metric AE "$WORK/picture.png" "$WORK/anim-0.ppm" null: 2>&1) || true
    [ "$differ" = "0" ]
}
wait_for 5 same_as_frame0 0 0 || fail "frame 0 is not shown pixel-exact"
ok "frame 0 pixel-exact"

# A larger window: the picture in the middle, everything else black.
xdotool windowsize "$top" 400 330
wait_for 5 bash -c "[ \"\$(xwininfo -id $client | awk '/Width:/{print \$2}')\" = 400 ]" ||
    fail "client area did not grow"
read -r cw ch < <(size_of "$client" | tr x ' ')
x=$(((cw - 200) / 2)) y=$(((ch - 150) / 2))
wait_for 5 same_as_frame0 "$x" "$y" || fail "picture not re-centred at $x,$y in ${cw}x$ch"
mean=$("$CONVERT" "$WORK/shot.png" -fill black -draw "rectangle $x,$y $((x + 199)),$((y + 149))" \
    -format '%[fx:maxima]' info:)
[ "$mean" = "0" ] || fail "borders are not black (brightest $mean)"
ok "resized to ${cw}x$ch: re-centred at $x,$y with black borders"

# A smaller window: the picture hangs over all four edges, its middle shown.
xdotool windowsize "$top" 150 100
wait_for 5 bash -c "[ \"\$(xwininfo -id $client | awk '/Height:/{print \$2}')\" -lt 150 ]" ||
    fail "client area did not shrink"
read -r cw ch < <(size_of "$client" | tr x ' ')
x=$(((200 - cw) / 2)) y=$(((150 - ch) / 2))  # how far the picture hangs over left and top
middle_shown() {
    shot "$client" "$WORK/shot.png"
    "$CONVERT" "$WORK/anim-0.ppm" -crop "${cw}x$ch+$x+$y" +repage "$WORK/middle.png"
    local differ
    differ=$("$COMPARE" -metric AE "$WORK/shot.png" "$WORK/middle.png" null: 2>&1) || true
    [ "$differ" = "0" ]
}
wait_for 5 middle_shown || fail "the middle of the picture is not shown in ${cw}x$ch"
ok "shrunk to ${cw}x$ch: the picture is clipped on all sides around its middle"

xprop -id "$top" _NET_WM_ICON | grep -q "Icon (32 x 32)" || fail "no 32 x 32 window icon"
ok "the window carries the 32 x 32 icon"

"$KINARO_E2E_X" close "$top"
expect_exit 10 0 "closing the window"
