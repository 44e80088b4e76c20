# Without a file name the open-file dialog comes: its two options show the settings, its
# Help button shows the help box, a typed path with Use Buffering checked opens that file
# buffered; Cancel ends with 0.
source "$E2E_LIB"
start_x
make_animation "$WORK/anim.rm" 6 200x150
cd "$WORK"

# Where the unchecked "Use Buffering" box is: right of the checked (blue) "Multiple
# Colormaps" box, on its row, the first white pixel.
use_buffering_box() {
    local dialog=$1 height
    shot "$dialog" "$WORK/dialog.png"
    height=$(size_of "$dialog" | cut -dx -f2)
    "$CONVERT" "$WORK/dialog.png" -crop "500x150+0+$((height - 150))" +repage txt:- | awk -v top=$((height - 150)) '
        /^#/ { next }
        { split($1, p, /[,:]/); x = p[1]; y = p[2]; c[x "," y] = $3
          if ($3 == "#3584E4") { if (!n++ || x < x0) x0 = x; if (x > x1) x1 = x; if (n == 1 || y < y0) y0 = y; if (y > y1) y1 = y } }
        END { if (!n) exit 1; cy = int((y0 + y1) / 2)
              for (x = x1 + 8; x < 500; ++x) if (c[x "," cy] == "#FFFFFF") { print x + 3, cy + top; exit 0 }
              exit 1 }'
}
checked_at() {  # a checked box is blue around its white tick
    shot "$1" "$WORK/dialog.png"
    local blue
    blue=$("$CONVERT" "$WORK/dialog.png" -crop "12x12+$(($2 - 3))+$(($3 - 6))" +repage txt:- |
        awk -F'[(),]' '!/^#/ && $3 < 130 && $5 > 200 { n++ } END { print n + 0 }')  # red, blue
    [ "$blue" -ge 30 ]
}

start_kinaro -d9 "$WORK/run.log"
dialog=$(find_window "Kinaro Open File") || true
[ -n "$dialog" ] || fail "no open-file dialog"
# The chooser first opens at a size of its own, then takes ours (780x540 on this screen).
wait_for 5 bash -c "[ \"\$(xwininfo -id $dialog | awk '/Width:/{w=\$2} /Height:/{h=\$2} END{print w \"x\" h}')\" = 780x540 ]" ||
    fail "the dialog is $(size_of "$dialog"), not 780x540"
sleep 0.3  # laid out
found_box() { use_buffering_box "$dialog" >"$WORK/box"; }
wait_for 5 found_box || fail "Use Buffering box not found"
read -r bx by <"$WORK/box"
ok "dialog opens with Multiple Colormaps checked and Use Buffering unchecked"
checked_at "$dialog" "$bx" "$by" && fail "Use Buffering looks checked before the click"
xdotool mousemove --window "$dialog" "$bx" "$by" click 1
wait_for 3 checked_at "$dialog" "$bx" "$by" || fail "Use Buffering did not check"
ok "Use Buffering checked"

keys "$dialog" alt+h
help=$(find_window "Kinaro Open File Help" 5) || true
[ -n "$help" ] || fail "Help showed no help box"
keys "$help" Return
wait_for 5 window_gone "Kinaro Open File Help" || fail "help box did not close"
find_window "Kinaro Open File" 2 >/dev/null || fail "the dialog closed with the help box"
ok "Help shows 'Kinaro Open File Help' and leaves the dialog open"

keys "$dialog" ctrl+l
xdotool type --delay 10 "$WORK/anim"   # without ".rm": the default extension is added
sleep 0.4
xdotool key Return
top=$(find_window Kinaro) || true
[ -n "$top" ] || fail "the typed file was not opened"
client=$(client_of "$top")
wait_for 5 frame_is "$client" 5 0 || fail "frame 0 not shown"
ok "the typed path opens the file"
keys "$top" q
expect_exit 5 0 "'q' after the dialog"
grep -q "Entering FillImageList" "$WORK/run.log" || fail "Use Buffering did not buffer"
ok "the file was buffered"

# A name that does not exist: a box says so and the dialog stays. (Started in a folder
# without metafiles: where one is selected, GTK takes it instead of a name that matches
# nothing.)
mkdir "$WORK/empty"
cd "$WORK/empty"
start_kinaro -d9 "$WORK/cancel.log"
dialog=$(find_window "Kinaro Open File") || true
[ -n "$dialog" ] || fail "no open-file dialog"
dialogs() { xdotool search --onlyvisible --name "^Kinaro Open File\$" 2>/dev/null | grep -c .; }
two_dialogs() { [ "$(dialogs)" = 2 ]; }
one_dialog() { [ "$(dialogs)" = 1 ]; }
keys "$dialog" ctrl+l
xdotool type --delay 10 "$WORK/empty/missing.rm"
sleep 0.4  # the chooser looks the typed folder up before it takes Return
xdotool key Return
wait_for 5 two_dialogs || fail "no box for a file that does not exist"
box=$(xdotool search --onlyvisible --name "^Kinaro Open File\$" | grep -vx "$dialog" | head -1)
keys "$box" Return
wait_for 5 one_dialog || fail "the dialog did not stay alone after the box"
ok "a name that does not exist is answered with a box; the dialog stays"
keys "$dialog" Escape
expect_exit 5 0 "Cancel"
grep -qx "GetOpenFile returns False, CommDlgExtendedError returns 00000000" "$WORK/cancel.log" ||
    fail "no cancel line in the log"
ok "Cancel logs the dialog's result"
