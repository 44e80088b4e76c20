# Sources that never end, a long file name, running out of memory and a long scan: each ends at
# once, with the "Kinaro Error" box (which stays usable) and 255, or as the user asks.
source "$E2E_LIB"
start_x 800x600

# Answers the error box of the viewer just started and expects status 255.
expect_error_box() {
    local what=$1 box
    box=$(find_window "Kinaro Error") || true
    [ -n "$box" ] || fail "no error box for $what"
    echo "$box"
    keys "$box" Return
    expect_exit 5 255 "$what"
}

mkfifo "$WORK/fifo"
for source in /dev/zero "$WORK/fifo"; do
    start_kinaro -d1 "$WORK/refused.log" "$source"
    expect_error_box "$source" >/dev/null
    grep -q "^Not reading \"$source\": " "$WORK/refused.log" || fail "no reason logged for $source"
    ok "$source: refused at once with the error box, the reason in the log"
done

# A 5,000-character name: the box is wrapped within the screen, its OK button answers.
long="$WORK/$(printf 'n%.0s' $(seq 5000))"
start_kinaro "$long"
box=$(find_window "Kinaro Error") || true
[ -n "$box" ] || fail "no error box for a long name"
width=$(xwininfo -id "$box" | awk '/Width:/{print $2}')
[ "$width" -le 800 ] || fail "the box for a long name is $width pixels wide"
keys "$box" Return
expect_exit 5 255 "a long name"
ok "a long name: the box is $width pixels wide and OK answers it"

# Buffering runs out of the memory the process may have: the allocation-failure box all the
# same, with and without the progress window.
make_animation "$WORK/big.rm" 150 1024x1024
for info in -noinfo ""; do
    (
        ulimit -v 320000
        exec "$KINARO" -d1 "$WORK/oom.log" -b $info -p 0 -loop 1 "$WORK/big.rm" \
            >"$WORK/kinaro.out" 2>"$WORK/kinaro.err"
    ) &
    KPID=$!
    expect_error_box "buffering out of memory ${info:-with progress}" >/dev/null
    grep -q "^Error: Cannot allocate memory for image array" "$WORK/oom.log" ||
        fail "the box did not report the failed allocation: $(tail -3 "$WORK/oom.log")"
    ok "out of memory while buffering ${info:-with the progress window}: the box, status 255"
done

# The second frame lies 40 GB on, past a hole of zeros the reader skips block by block: while
# it does, Q, Escape and the close box still end the viewer, at once.
make_animation "$WORK/one.rm" 1 200x150
cp "$WORK/one.rm" "$WORK/sparse.rm"
truncate -s +40G "$WORK/sparse.rm"
cat "$WORK/one.rm" >>"$WORK/sparse.rm"
for how in q Escape close; do
    start_kinaro -loop 1 "$WORK/sparse.rm"
    top=$(find_window Kinaro) || true
    [ -n "$top" ] || fail "no viewer window for the sparse file"
    sleep 0.5  # the scan for the second frame is under way
    if [ "$how" = close ]; then "$KINARO_E2E_X" close "$top"; else keys "$top" "$how"; fi
    expect_exit 3 0 "$how during a long scan"
    ok "$how ends the viewer during a long scan"
done
