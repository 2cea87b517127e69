# shellcheck shell=bash
# Sourced by the scripts and tests that need a private X server.

# start_xvfb WIDTHxHEIGHTxDEPTH [XVFB ARGS...]: starts Xvfb on a free
# display, exports DISPLAY and sets xvfb_pid; returns non-zero when no server
# comes up.
start_xvfb() {
  local display_file
  display_file=$(mktemp)
  Xvfb -noreset -nolisten tcp -displayfd 8 -screen 0 "$@" 8>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    [ -s "$display_file" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -s "$display_file" ]; then
    rm -f "$display_file"
    echo "Xvfb did not start" >&2
    return 1
  fi
  DISPLAY=":$(head -n 1 "$display_file")"
  export DISPLAY
  rm -f "$display_file"
}
