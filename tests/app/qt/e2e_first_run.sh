#!/usr/bin/env bash
# First run: config.ini appears while the dialog is open; Return keeps it.
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
start_xvfb 1024x768x24
mkdir "$WORK/game"
start_program "$WORK/game"
wait_for_window >/dev/null

first_run=$(first_run_file)
expect_bytes "$WORK/game/config.ini" "$first_run"
press Return
wait_for_exit || fail "exit status $?"
expect_bytes "$WORK/game/config.ini" "$first_run"
echo "first run: ok"
