# The GTK backend's own promises, checked on a real X server by a small program of ours.
source "$E2E_LIB"
start_x
"$KINARO_GTK_CHECK" || fail "the GTK backend check failed"
