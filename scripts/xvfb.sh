# shellcheck shell=bash
# The X helper, sourced by the scripts and tests that run programs on a
# private X server: a scratch folder WORK, start_xvfb, wait_window, and one
# EXIT trap that runs the steps given to at_exit, the last given first.

exit_steps=()
# at_exit COMMAND [ARG...]: runs the command as the shell exits, before the
# ones given earlier; its failure is ignored.
at_exit() {
  local command
  printf -v command '%q ' "$@"
  exit_steps=("$command 2>/dev/null || true;" "${exit_steps[@]}")
}
trap 'eval "${exit_steps[*]}"' EXIT
WORK=$(mktemp -d)
at_exit rm -rf "$WORK"
at_exit chmod -R u+w "$WORK"
xvfb_pid=
at_exit stop xvfb_pid

# fail MESSAGE: says what failed and exits with status 1.
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# stop VAR: ends the process (a child of this shell) whose id VAR holds,
# waits for it, and empties VAR.
stop() {
  [ -z "${!1:-}" ] || { kill "${!1}" 2>/dev/null; wait "${!1}" 2>/dev/null; } || true
  printf -v "$1" ''
}

# start_xvfb WIDTHxHEIGHTxDEPTH [OPTION...]: starts Xvfb on a free display,
# with the given server options, exports DISPLAY and sets xvfb_pid; fails
# when no server comes up.
start_xvfb() {
  Xvfb -noreset -nolisten tcp -displayfd 8 -screen 0 "$@" 8>"$WORK/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    [ -s "$WORK/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  [ -s "$WORK/display" ] || { echo "Xvfb did not start" >&2 && return 1; }
  DISPLAY=":$(head -n 1 "$WORK/display")"
  export DISPLAY
  rm "$WORK/display"
}

# wait_window SECONDS PID [TITLE]: prints the id of a visible window titled
# exactly TITLE (without one, of process PID) once one shows; fails when
# process PID ends first or SECONDS pass.
wait_window() {
  local search=(--pid "$2") window
  [ -z "${3:-}" ] || search=(--name "^$3\$")
  for _ in $(seq $(($1 * 5))); do
    window=$(xdotool search --onlyvisible "${search[@]}" 2>/dev/null | head -n 1) || true
    [ -z "$window" ] || { echo "$window" && return 0; }
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}
