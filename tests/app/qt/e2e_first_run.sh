#!/usr/bin/env bash
# First run: config.ini appears while the dialog is open; Return keeps it.
# The caption is to have no minimize or maximize button (_MOTIF_WM_HINTS:
# the decorations flag 2, decorations without 32 and 64).
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
start_xvfb 1024x768x24
mkdir "$WORK/game"
start_program "$WORK/game"
IFS=' ,' read -r _ _ flags _ decorations _ < <(xprop -id "$(wait_for_window)" _MOTIF_WM_HINTS)
((flags & 2 && !(decorations & 96))) || fail "minimize or maximize in the caption: $flags $decorations"

first_run=$(first_run_file)
expect_bytes "$WORK/game/config.ini" "$first_run"
press Return
wait_for_exit || fail "exit status $?"
expect_bytes "$WORK/game/config.ini" "$first_run"
echo "first run: ok"
