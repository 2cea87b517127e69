#!/usr/bin/env bash
# Whatever keeps the program from a display, it says so in one line and
# fails with status 1: no abort, no Qt plugin text, no wait without end.
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
start_xvfb 800x600x24 || exit 77
live=$DISPLAY

# A Wayland socket that accepts connections and never answers.
python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(8); time.sleep(600)' \
  "$WORK/silent-wayland" &
silent_wayland=$!
trap 'kill "$silent_wayland" 2>/dev/null; cleanup' EXIT
for _ in $(seq 100); do [ -S "$WORK/silent-wayland" ] && break; sleep 0.05; done

# name | environment of the program (DISPLAY and the Wayland variables unset
# unless given); "stopped" runs it while the X server is stopped.
cases=(
  "no DISPLAY|"
  "no X server|DISPLAY=:4242"
  "no such screen|DISPLAY=$live.7"
  "stale WAYLAND_DISPLAY|WAYLAND_DISPLAY=wayland-4242 XDG_RUNTIME_DIR=$WORK"
  "wayland chosen, no compositor|QT_QPA_PLATFORM=wayland XDG_RUNTIME_DIR=$WORK"
  "silent compositor|WAYLAND_DISPLAY=$WORK/silent-wayland"
  "unknown platform|QT_QPA_PLATFORM=none-such"
  "stopped|DISPLAY=$live"
)
for case in "${cases[@]}"; do
  name=${case%%|*}
  vars=${case#*|}
  [ "$name" = stopped ] && kill -STOP "$xvfb_pid"
  status=0
  # shellcheck disable=SC2086  # vars is a list of assignments
  (cd "$WORK" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE \
    $vars timeout 60 "$PROGRAM") >"$WORK/out" 2>"$WORK/err" || status=$?
  [ "$name" = stopped ] && kill -CONT "$xvfb_pid"
  [ "$status" -ne 124 ] || fail "$name: still running after 60 s"
  [ "$status" -eq 1 ] || fail "$name: exit status $status, want 1; stderr: $(cat "$WORK/err")"
  [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "$name: stderr: $(cat "$WORK/err")"
  [ ! -s "$WORK/out" ] || fail "$name: stdout not empty"
  [ ! -e "$WORK/config.ini" ] || fail "$name: config.ini written"
  echo "$name: $(cat "$WORK/err")"
done
