#!/usr/bin/env bash
# Without a display the program fails with status 1 and one line on stderr,
# Qt's reason: no abort, no core file, no config.ini. A refusing X server's
# own reason, which xcb prints, comes before it.
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
# A server that admits only the holders of a cookie, which the program lacks.
xauth -q -f "$WORK/cookie" add :0 . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')" 2>/dev/null
start_xvfb 320x240x8 -auth "$WORK/cookie" || exit 77
guarded=$DISPLAY
at_exit kill "$xvfb_pid"
start_xvfb 800x600x24 || exit 77

# name | environment of the program (DISPLAY and the Wayland variables unset
# unless given) | a text its stderr must hold
cases=(
  "no DISPLAY||DISPLAY is not set"
  "no X server|DISPLAY=:4242|:4242"
  "no such screen|DISPLAY=$DISPLAY.7|$DISPLAY.7"
  "not authorised|DISPLAY=$guarded XAUTHORITY=$WORK/none|Authorization"
  "unknown platform|QT_QPA_PLATFORM=none-such|none-such"
)
for case in "${cases[@]}"; do
  IFS='|' read -r name vars text <<<"$case"
  status=0
  # shellcheck disable=SC2086  # vars is a list of assignments
  (cd "$WORK" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE \
    $vars timeout 60 "$PROGRAM") >"$WORK/out" 2>"$WORK/err" || status=$?
  [ "$status" -eq 1 ] || fail "$name: exit status $status, want 1; stderr: $(cat "$WORK/err")"
  if ! tail -n 1 "$WORK/err" | grep -q '^zarv_settings: ' ||
    { [ "$(wc -l <"$WORK/err")" -ne 1 ] && [ "$name" != "not authorised" ]; }; then
    fail "$name: stderr: $(cat "$WORK/err")"
  fi
  grep -qF -e "$text" "$WORK/err" || fail "$name: stderr does not name $text: $(cat "$WORK/err")"
  [ ! -s "$WORK/out" ] || fail "$name: stdout not empty"
  [ ! -e "$WORK/config.ini" ] || fail "$name: config.ini written"
  echo "$name: $(cat "$WORK/err")"
done
