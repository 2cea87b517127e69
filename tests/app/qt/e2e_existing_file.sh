#!/usr/bin/env bash
# An existing file with sections of its own: Return rewrites only the dialog's
# keys (odd values normalised, comments gone); Escape writes nothing; without
# a 1024-wide mode 1024 x 768 cannot stay chosen.
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
mkdir "$WORK/game"
original="; written by hand
[display]
drivertype=3
width=1024
height=768
colorbits=24
depthbits=24
fullscreen=0
sync=2

[misc]
xmusic=1
xsnd=0
motionblur=0
scursor=1

[network]
server=a b;c
=empty key
"
after_ok() {  # $1 width, $2 height
  echo "[display]
drivertype=3
width=$1
height=$2
colorbits=32
depthbits=24
fullscreen=0
sync=0

[misc]
xmusic=1
xsnd=0
motionblur=0
scursor=1

[network]
server=a b;c
=empty key
"
}

start_xvfb 1024x768x24
crlf "$original" >"$WORK/game/config.ini"

start_program "$WORK/game"
press Escape
wait_for_exit || fail "exit status $? after Escape"
expect_bytes "$WORK/game/config.ini" "$original"

start_program "$WORK/game"
press Return
wait_for_exit || fail "exit status $? after Return"
expect_bytes "$WORK/game/config.ini" "$(after_ok 1024 768)"

stop xvfb_pid
start_xvfb 800x600x24
crlf "$original" >"$WORK/game/config.ini"
start_program "$WORK/game"
press Return
wait_for_exit || fail "exit status $? on 800x600"
expect_bytes "$WORK/game/config.ini" "$(after_ok 800 600)"
echo "existing file: ok"
