# Every key of the key table, end to end: steps and the first frame on screen, the four
# modes in the order of the frames drawn (from the debug log), the speed keys in the pause
# that pacing logs, redraw, and both quit keys.
source "$E2E_LIB"
start_x
make_animation "$WORK/anim.rm" 10 200x150

open_viewer -p 60 -d10 "$WORK/run.log"

step() {
    local key=$1 expected=$2
    keys "$top" "$key"
    wait_for 3 frame_is "$client" $square "$expected" ||
        fail "after '$key' frame $(frame_number "$client" $square), not $expected"
    ok "'$key' shows frame $expected"
}
step plus 1
step equal 2
step minus 1
step underscore 0
step F 9       # forward to the last frame...
sleep 0.3
frame_is "$client" $square 9 || fail "forward did not stop at the last frame"
ok "forward stops at the last frame"
step 1 0
step f 9
step b 0       # backward to the first
keys "$top" L  # loop: it moves on from frame 0
moved_on() { ! frame_is "$client" $square 0; }
wait_for 3 moved_on || fail "'L' did not start the loop"
ok "'L' starts the loop"
keys "$top" less less greater comma period  # pause 60 -> 160 -> 110 -> 160 -> 110
sleep 2        # almost two passes at 110 ms a frame
keys "$top" s
sleep 0.25
before=$(frame_number "$client" $square)
sleep 0.4
[ "$(frame_number "$client" $square)" = "$before" ] || fail "'s' did not stop the loop"
ok "'s' stops"
keys "$top" C  # cycle, going forward
sleep 3.5      # up to the last frame, down to 0 and up again: at most 19 frames
keys "$top" space
sleep 0.25
before=$(frame_number "$client" $square)
sleep 0.4
[ "$(frame_number "$client" $square)" = "$before" ] || fail "space did not stop the cycle"
ok "space stops"
keys "$top" r
sleep 0.2
[ "$(frame_number "$client" $square)" = "$before" ] || fail "'r' changed the picture"
ok "'r' redraws the same frame"
keys "$top" q
expect_exit 5 0 "'q'"

# The frames fetched, in order, and the pauses pacing worked with.
order=$(grep -o 'Getting Image #[0-9]*' "$WORK/run.log" | grep -o '[0-9]*$' | tr '\n' ' ')
[[ " $order" == *" 9 0 "* ]] || fail "loop did not wrap from the last frame to 0: $order"
ok "loop wraps from the last frame to frame 0"
# Only the cycle moves backward after the loop: it turns at the last frame, then at 0.
after_loop=${order#* 9 0 }
after_top=${after_loop#* 9 8 }
[ "$after_top" != "$after_loop" ] && [[ " $after_top" == *" 1 0 1 "* ]] ||
    fail "cycle did not turn at both ends: $order"
ok "cycle turns at the last frame and at frame 0"
waits=$(grep -o 'Wait:[0-9]*' "$WORK/run.log" | uniq | tr '\n' ' ')
[[ "$waits" == *"Wait:60 "*"Wait:110 "* ]] && [ "$(grep -o 'Wait:[0-9]*' "$WORK/run.log" | tail -1)" = "Wait:110" ] ||
    fail "the speed keys did not give the pauses 160/110: $waits"
grep -q 'Wait:160' "$WORK/run.log" || fail "'<' never lengthened the pause to 160: $waits"
ok "'<' ',' lengthen and '>' '.' shorten the pause by 50 ms"

start_kinaro "$WORK/anim.rm"
top=$(find_window Kinaro) || true
[ -n "$top" ] || fail "no viewer window"
keys "$top" Escape
expect_exit 5 0 "Escape"
