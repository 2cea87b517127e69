# shellcheck shell=bash
# Helpers for the end-to-end tests of the real program: the program started
# in a scratch folder on a private Xvfb (scripts/xvfb.sh), keys sent with
# xdotool, and byte checks of config.ini against the files in ../expected.
# Source it; $1 of the test is the program.
set -euo pipefail
# shellcheck source=scripts/xvfb.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/xvfb.sh"
PROGRAM=$1
# The config.ini files both programs' end-to-end tests compare with.
EXPECTED=$(cd "$(dirname "${BASH_SOURCE[0]}")/../expected" && pwd)
chmod 755 "$WORK"
APP_PID=
at_exit stop APP_PID

# start_program DIR [ARGS...]: runs the program in DIR on the private X
# server, whatever window system the caller's session names (the Vulkan
# loader finds no driver, so the video memory comes from amdgpu or is 0).
start_program() {
  local dir=$1
  shift
  # shellcheck disable=SC2086  # RUN_AS is a command prefix of several words
  (cd "$dir" && exec env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE \
    VK_ICD_FILENAMES=/nonexistent/none.json ${RUN_AS:-} "$PROGRAM" "$@") &
  APP_PID=$!
}

# wait_for_window: prints the id of the program's dialog once it is mapped.
wait_for_window() {
  wait_window 20 "$APP_PID" || fail "no window of the program appeared"
}

# press KEY: focuses the dialog and sends KEY to it.
press() {
  local window
  window=$(wait_for_window)
  xdotool windowfocus --sync "$window"
  xdotool key "$1"
}

# wait_for_exit: the program's exit status, or a failure after 20 s.
wait_for_exit() {
  for _ in $(seq 400); do
    kill -0 "$APP_PID" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$APP_PID" 2>/dev/null && fail "the program did not end"
  local status=0
  wait "$APP_PID" || status=$?
  APP_PID=
  return "$status"
}

# expect_bytes FILE WANT: FILE holds exactly the bytes of the file WANT.
expect_bytes() {
  cmp -s "$1" "$2" ||
    fail "$1 differs from $2:$(echo; diff <(od -c "$2") <(od -c "$1"))"
}

# first_run_file: the config.ini a first run writes here, in $WORK: the
# shared file's, with motion blur on when an amdgpu card reports 30 MiB or
# more.
first_run_file() {
  local largest=0 count blur=0
  for f in /sys/class/drm/card*/device/mem_info_vram_total; do
    [ -r "$f" ] || continue
    count=$(cat "$f")
    [ "$count" -gt "$largest" ] && largest=$count
  done
  [ "$largest" -lt $((30 << 20)) ] || blur=1
  sed "s/^motionblur=0\r\$/motionblur=$blur\r/" "$EXPECTED/first-run.ini" >"$WORK/first-run.ini"
  echo "$WORK/first-run.ini"
}
