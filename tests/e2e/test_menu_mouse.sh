# The Go, Step and Help menus (through their mnemonics) and the three mouse buttons act as
# the tables say; the help boxes leave the animation running.
source "$E2E_LIB"
start_x
make_animation "$WORK/anim.rm" 10 200x150

open_viewer -p 80 -d10 "$WORK/run.log"

menu() {
    local popup=$1 item=$2
    keys "$top" "alt+$popup"
    sleep 0.3
    xdotool key "$item"
}
after_menu() {
    local what=$1 expected=$2
    wait_for 4 frame_is "$client" $square "$expected" ||
        fail "$what: frame $(frame_number "$client" $square), not $expected"
    ok "$what shows frame $expected"
}
menu s f; after_menu "Step > Forward One Frame" 1
menu s f; after_menu "Step > Forward One Frame" 2
menu s b; after_menu "Step > Backward One Frame" 1
menu g f; after_menu "Go > Forward" 9
menu s t; after_menu "Step > To First Frame" 0
menu g l
moved_on() { ! frame_is "$client" $square 0; }
wait_for 3 moved_on || fail "Go > Loop did not start the loop"
ok "Go > Loop starts the loop"
menu g s
sleep 0.2
stopped=$(frame_number "$client" $square)
sleep 0.4
[ "$(frame_number "$client" $square)" = "$stopped" ] || fail "Go > Stop did not stop"
ok "Go > Stop stops at frame $stopped"
menu g b; after_menu "Go > Backward" 0
menu g c
sleep 0.6
[ "$(frame_number "$client" $square)" != 0 ] || fail "Go > Cycle did not move"
ok "Go > Cycle moves"
menu g d   # the pause 80 -> 130
menu g i   # and back to 80
menu g l

# The help boxes; the animation goes on behind them.
running_behind() {  # at least two different frames in four looks
    local seen="" i
    for i in 1 2 3 4; do
        seen+="$(frame_number "$client" $square) "
        sleep 0.13
    done
    [ "$(tr ' ' '\n' <<<"$seen" | sort -u | grep -c .)" -ge 2 ]
}
help_box() {
    local item=$1 title=$2 box
    menu h "$item"
    box=$(find_window "$title" 5) || true
    [ -n "$box" ] || fail "Help > '$item' showed no '$title' box"
    running_behind || fail "the animation stopped behind '$title'"
    keys "$box" Return
    wait_for 5 window_gone "$title" || fail "'$title' did not close on Return"
    ok "Help > '$item' shows '$title' while the animation runs"
}
help_box a "Kinaro Info"
help_box k "Kinaro Controls"
help_box c "Kinaro Usage"
menu g x
expect_exit 5 0 "Go > Exit"
waits=$(grep -o 'Wait:[0-9]*' "$WORK/run.log" | uniq | tr '\n' ' ')
[[ "$waits" == *"Wait:130 "*"Wait:80 "* ]] || fail "Decrease/Increase Speed did not change the pause: $waits"
ok "Go > Decrease Speed and Increase Speed change the pause by 50 ms"

# Mouse buttons on a three-button pointer: middle steps forward, left backward, right quits.
open_viewer -p 400
xdotool mousemove --window "$client" 100 75
click() {
    local button=$1 expected=$2
    xdotool click "$button"
    wait_for 3 frame_is "$client" $square "$expected" ||
        fail "button $button: frame $(frame_number "$client" $square), not $expected"
    sleep 0.5  # released: no further step
    frame_is "$client" $square "$expected" || fail "button $button: did not stop on release"
    ok "button $button steps to frame $expected and stops on release"
}
click 2 1
click 2 2
click 1 1
xdotool click 3
expect_exit 5 0 "right button"
