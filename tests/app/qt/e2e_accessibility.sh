#!/usr/bin/env bash
# The dialog as a screen reader sees it over AT-SPI (atspi_check.py): on a
# display without a 1024-wide mode, in a D-Bus session of the test's own,
# with accessibility switched on as a desktop does for a screen reader. Then,
# with the Taiwan texts (LANGUAGE=zh_TW, an English LANG), a config.ini
# that cannot be read (a directory): the message alone, which names the
# folder and the next step; Return ends the program with status 1.
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
CHECK=$(dirname "$0")/atspi_check.py
mkdir -m 700 "$WORK/home" "$WORK/runtime"
mkdir -p "$WORK/game" "$WORK/unreadable/config.ini"
start_xvfb 800x600x24

# In the session: switch accessibility on, start the program, check, end it.
in_session() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
    variant:boolean:true >/dev/null
  start_program "$WORK/game"
  wait_for_window >/dev/null
  local status=0 exit=0
  /usr/bin/python3 "$CHECK" 20 || status=$?
  press Escape
  wait_for_exit || fail "exit status $?"

  RUN_AS="env -u LC_ALL LANG=en_US.UTF-8 LANGUAGE=zh_TW"
  start_program "$WORK/unreadable"
  /usr/bin/python3 "$CHECK" 20 message "$(realpath "$WORK/unreadable")" || status=$?
  press Return
  wait_for_exit || exit=$?
  [ "$exit" -eq 1 ] || fail "exit status $exit after the message, not 1"
  return "$status"
}

export -f in_session start_program wait_for_window wait_window press wait_for_exit fail
export PROGRAM WORK APP_PID CHECK
env -u AT_SPI_BUS_ADDRESS -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME \
  HOME="$WORK/home" XDG_RUNTIME_DIR="$WORK/runtime" LC_ALL=C.UTF-8 \
  dbus-run-session -- bash -c 'set -euo pipefail; in_session' 2>"$WORK/session.log" ||
  fail "$(grep -v dbus-daemon "$WORK/session.log")"
