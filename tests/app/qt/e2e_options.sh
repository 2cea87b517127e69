#!/usr/bin/env bash
# --help and --version, given first, answer on stdout with status 0 (status 1
# and a line on stderr when stdout is full); neither needs a display or
# writes a file, in the working folder or in the home folder. Any other
# argument is told as ignored in one line on stderr naming it and --help,
# and the dialog opens. $2 is the project's version.
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
VERSION=$2
mkdir "$WORK/here" "$WORK/home"

# arguments; stdout: =the whole text, ~a line of it (grep -x); stderr
cases=(
  "--version;=zarv_settings $VERSION;"
  "--help;~Usage: zarv_settings \[--help | --version\];"
  "--help extra;~Usage: zarv_settings \[--help | --version\];\"extra\""
  "--version --bogus -platform;=zarv_settings $VERSION;\"--bogus\" \"-platform\""
)
for case in "${cases[@]}"; do
  IFS=';' read -r args want_out want_err <<<"$case"
  status=0
  # shellcheck disable=SC2086  # args is a list of words
  (cd "$WORK/here" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE \
    -u XDG_CONFIG_HOME -u XDG_CACHE_HOME QT_QPA_PLATFORM=none-such HOME="$WORK/home" \
    timeout 20 "$PROGRAM" $args) >"$WORK/out" 2>"$WORK/err" || status=$?
  [ "$status" -eq 0 ] || fail "$args: exit status $status; stderr: $(cat "$WORK/err")"
  case $want_out in
  =*) [ "$(cat "$WORK/out")" = "${want_out#=}" ] || fail "$args: stdout: $(cat "$WORK/out")" ;;
  *) grep -qx -e "${want_out#\~}" "$WORK/out" || fail "$args: stdout: $(cat "$WORK/out")" ;;
  esac
  if [ -z "$want_err" ]; then
    [ ! -s "$WORK/err" ] || fail "$args: stderr: $(cat "$WORK/err")"
  elif [ "$(wc -l <"$WORK/err")" -ne 1 ] || ! grep -qF -e "$want_err" "$WORK/err" ||
    ! grep -qF -e "--help" "$WORK/err"; then
    fail "$args: stderr is not one line naming $want_err and --help: $(cat "$WORK/err")"
  fi
  [ -z "$(find "$WORK/here" "$WORK/home" -mindepth 1)" ] ||
    fail "$args: wrote $(find "$WORK/here" "$WORK/home" -mindepth 1)"
  echo "$args: $(cat "$WORK/err" "$WORK/out" | head -n 1)"
done
for option in --help --version; do  # no locale set yet: the C library's English text
  status=0
  "$PROGRAM" "$option" >/dev/full 2>"$WORK/err" || status=$?
  [ "$status: $(cat "$WORK/err")" = "1: zarv_settings: cannot write to standard output: No space \
left on device" ] || fail "$option >/dev/full: status $status, stderr: $(cat "$WORK/err")"
done

# Arguments a launcher passes: told, and the dialog opens as without them
start_xvfb 800x600x24
start_program "$WORK/here" --fullscreen config.ini 2>"$WORK/err"
press Escape
wait_for_exit || fail "exit status $? with arguments"
# (Qt's own warnings, such as XDG_RUNTIME_DIR's, pass as Qt prints them.)
[ "$(grep '^zarv_settings' "$WORK/err")" = 'zarv_settings: ignoring the arguments "--fullscreen" "config.ini"; see zarv_settings --help' ] ||
  fail "with arguments, stderr: $(cat "$WORK/err")"
echo "with arguments: $(cat "$WORK/err")"
