#!/usr/bin/env bash
# An existing config.ini that cannot be read or saved. Readable, the dialog
# opens, OK (Return) shows a message and the dialog stays, Return dismisses it
# and Escape ends the program; unreadable, the message is the only window ever
# mapped and Return ends the program with status 1. Nothing in the folder
# changes: no byte, no time stamp, no file left behind. $2 is the case, $3 the
# read-error shim.
#   read_only           a file without write permission
#   directory           a directory named config.ini (unreadable)
#   read_error_at_open  every read of config.ini fails (EIO; unreadable)
#   read_error_at_ok    the reads at open work, the one at OK fails
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
CASE=$2
SHIM=${3:-}
mkdir "$WORK/game"
game_file='[display]
width=1024
colorbits=16

[game]
player=a b
level=7
'

# state DIR: every entry with its type, inode, size, times and checksum.
state() {
  (cd "$1" && find . -printf '%p %y %i %s %T@ %C@\n' | sort &&
    find . -type f -exec cksum {} + | sort)
}

# preload N: the program (only) gets the shim's read errors from the Nth
# load of config.ini on; the sanitizer's runtime must come first.
preload() {
  [ -f "$SHIM" ] || fail "no shim: $SHIM"
  local asan
  asan=$(ldd "$PROGRAM" | awk '/libasan/ { print $3; exit }')
  RUN_AS="env LD_PRELOAD=${asan:+$asan:}$SHIM ZARV_FAIL_READ_FROM=$1"
}

case $CASE in
read_only)
  crlf "$game_file" >"$WORK/game/config.ini"
  chmod 444 "$WORK/game/config.ini"
  # root writes read-only files anyway: run the program as nobody.
  if [ "$(id -u)" -eq 0 ]; then
    RUN_AS="setpriv --reuid=65534 --regid=65534 --clear-groups"
    $RUN_AS test -x "$PROGRAM" || { echo "SKIP: nobody cannot run $PROGRAM"; exit 77; }
    chown -R 65534:65534 "$WORK/game"
  fi
  ${RUN_AS:-} test -w "$WORK/game" || fail "the folder is not writable for the program"
  ;;
directory)
  mkdir "$WORK/game/config.ini"
  crlf "$game_file" >"$WORK/game/config.ini/inside"
  ;;
read_error_at_open)
  crlf "$game_file" >"$WORK/game/config.ini"
  preload 1
  ;;
read_error_at_ok)
  crlf "$game_file" >"$WORK/game/config.ini"
  preload 2
  ;;
*) fail "unknown case $CASE" ;;
esac
before=$(state "$WORK/game")

start_xvfb 1024x768x24
if [[ $CASE == @(directory|read_error_at_open) ]]; then
  # Every window mapped, logged by xev once it has seen a property set.
  xev -root -event substructure -event property >"$WORK/events" 2>/dev/null &
  for _ in $(seq 100); do
    xprop -root -f ZARV_E2E 8s -set ZARV_E2E 1
    grep -q '^PropertyNotify' "$WORK/events" && break
    sleep 0.1
  done
  start_program "$WORK/game"
  press Return
  status=0
  wait_for_exit || status=$?
  [ "$status" -eq 1 ] || fail "exit status $status, want 1"
  [ "$(grep -c '^MapNotify' "$WORK/events")" -eq 1 ] || fail "windows mapped besides the message"
else
  start_program "$WORK/game"
  dialog=$(wait_for_window)
  press Return
  message=$(wait_for_new_window "$dialog")
  xdotool windowfocus --sync "$message"
  xdotool key Return
  wait_for_window_count 1
  kill -0 "$APP_PID" 2>/dev/null || fail "the program ended with the message"
  press Escape
  wait_for_exit || fail "exit status $?"
fi

after=$(state "$WORK/game")
[ "$after" = "$before" ] || fail "the folder changed:$(echo; diff <(echo "$before") <(echo "$after"))"
echo "$CASE: ok"
