#!/usr/bin/env bash
# Whatever keeps the program from a display, it says so in one line and
# fails with status 1: no abort, no Qt plugin text, no wait without end.
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
# A server that admits only the holders of a cookie, which the program lacks.
xauth -q -f "$WORK/cookie" add :0 . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')" 2>/dev/null
start_xvfb 320x240x8 -auth "$WORK/cookie" || exit 77
guarded=$DISPLAY
guarded_pid=$xvfb_pid
start_xvfb 800x600x24 || exit 77
live=$DISPLAY

# A Wayland socket that accepts connections and never answers, and one that
# answers every request with a callback's done event.
python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(8); time.sleep(600)' \
  "$WORK/silent-wayland" &
silent_wayland=$!
python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(8)
while True:
    c, _ = s.accept(); c.recv(64); c.send(bytes([2, 0, 0, 0, 0, 0, 12, 0, 0, 0, 0, 0]))' \
  "$WORK/answering-wayland" &
answering_wayland=$!
trap 'kill "$silent_wayland" "$answering_wayland" "$guarded_pid" 2>/dev/null; cleanup' EXIT
for socket in silent-wayland answering-wayland; do
  for _ in $(seq 100); do [ -S "$WORK/$socket" ] && break; sleep 0.05; done
done

# The program beside a qt.conf that points Qt at a folder without plugins:
# Qt's Wayland plugin is missing whether or not the machine has it.
mkdir "$WORK/bin" "$WORK/no-plugins"
cp "$PROGRAM" "$WORK/bin/"
printf '[Paths]\nPlugins=%s\n' "$WORK/no-plugins" >"$WORK/bin/qt.conf"
without_plugins=$WORK/bin/$(basename "$PROGRAM")

# name | environment of the program (DISPLAY and the Wayland variables unset
# unless given) | a text its line must hold; "stopped" runs it while the X
# server is stopped, "no Wayland plugin" runs the program without plugins.
cases=(
  "no DISPLAY|"
  "no X server|DISPLAY=:4242"
  "no such screen|DISPLAY=$live.7"
  "not authorised|DISPLAY=$guarded XAUTHORITY=$WORK/none|refused the connection: Authorization"
  "stale WAYLAND_DISPLAY|WAYLAND_DISPLAY=wayland-4242 XDG_RUNTIME_DIR=$WORK"
  "wayland chosen, no compositor|QT_QPA_PLATFORM=wayland XDG_RUNTIME_DIR=$WORK"
  "silent compositor|WAYLAND_DISPLAY=$WORK/silent-wayland"
  "unknown platform|QT_QPA_PLATFORM=none-such"
  "stopped|DISPLAY=$live"
  "no Wayland plugin|QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=$WORK/answering-wayland|qt6-wayland"
)
for case in "${cases[@]}"; do
  IFS='|' read -r name vars text <<<"$case"
  program=$PROGRAM
  [ "$name" = "no Wayland plugin" ] && program=$without_plugins
  [ "$name" = stopped ] && kill -STOP "$xvfb_pid"
  status=0
  # shellcheck disable=SC2086  # vars is a list of assignments
  (cd "$WORK" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE \
    $vars timeout 60 "$program") >"$WORK/out" 2>"$WORK/err" || status=$?
  [ "$name" = stopped ] && kill -CONT "$xvfb_pid"
  [ "$status" -ne 124 ] || fail "$name: still running after 60 s"
  [ "$status" -eq 1 ] || fail "$name: exit status $status, want 1; stderr: $(cat "$WORK/err")"
  [ "$(wc -l <"$WORK/err")" -eq 1 ] || fail "$name: stderr: $(cat "$WORK/err")"
  grep -qF -e "$text" "$WORK/err" || fail "$name: stderr does not name $text: $(cat "$WORK/err")"
  [ ! -s "$WORK/out" ] || fail "$name: stdout not empty"
  [ ! -e "$WORK/config.ini" ] || fail "$name: config.ini written"
  echo "$name: $(cat "$WORK/err")"
done
