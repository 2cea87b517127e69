#!/usr/bin/env bash
# Without a display the program says so in one line and fails, without abort.
source "$(dirname "$0")/e2e_lib.sh"
for display in "" ":4242"; do
    status=0
    (cd "$WORK" && DISPLAY=$display WAYLAND_DISPLAY= QT_QPA_PLATFORM= "$PROGRAM") \
        >"$WORK/out" 2>"$WORK/err" || status=$?
    [ "$status" -eq 1 ] || fail "DISPLAY='$display': exit status $status, want 1"
    [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "DISPLAY='$display': stderr: $(cat "$WORK/err")"
    [ ! -s "$WORK/out" ] || fail "DISPLAY='$display': stdout not empty"
    [ ! -e "$WORK/config.ini" ] || fail "DISPLAY='$display': config.ini written"
    echo "DISPLAY='$display': $(cat "$WORK/err")"
done
