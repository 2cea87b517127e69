#!/usr/bin/env bash
# An existing file with sections of its own: Return rewrites only the dialog's
# keys (odd values normalised, comments gone); Escape writes nothing; without
# a 1024-wide mode 1024 x 768 cannot stay chosen.
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
mkdir "$WORK/game"
start_xvfb 1024x768x24
cp "$EXPECTED/existing-before.ini" "$WORK/game/config.ini"

start_program "$WORK/game"
press Escape
wait_for_exit || fail "exit status $? after Escape"
expect_bytes "$WORK/game/config.ini" "$EXPECTED/existing-before.ini"

start_program "$WORK/game"
press Return
wait_for_exit || fail "exit status $? after Return"
expect_bytes "$WORK/game/config.ini" "$EXPECTED/existing-ok-on-1024x768.ini"

stop xvfb_pid
start_xvfb 800x600x24
cp "$EXPECTED/existing-before.ini" "$WORK/game/config.ini"
start_program "$WORK/game"
press Return
wait_for_exit || fail "exit status $? on 800x600"
expect_bytes "$WORK/game/config.ini" "$EXPECTED/existing-ok-on-800x600.ini"
echo "existing file: ok"
