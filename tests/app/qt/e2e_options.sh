#!/usr/bin/env bash
# --help and --version, alone, answer on stdout with status 0 (status 1 and a
# line on stderr when stdout is full); any other argument, and any after the
# first, is refused in one line on stderr naming it, with status 2. None of
# them needs a display, and none writes a file, in the working folder or in
# the home folder. $2 is the project's version.
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
VERSION=$2
mkdir "$WORK/here" "$WORK/home"

# arguments | status | stdout: =the whole text, ~a line of it (grep -x), - nothing
cases=(
  "--version|0|=zarv_settings $VERSION"
  "--help|0|~Usage: zarv_settings \[--help | --version\]"
  "--help extra|2|-"
  "--version --bogus|2|-"
  "--bogus|2|-"
  "--version=1|2|-"
  "-platform offscreen|2|-"
  "config.ini|2|-"
)
for case in "${cases[@]}"; do
  IFS='|' read -r args want_status want_out <<<"$case"
  status=0
  # shellcheck disable=SC2086  # args is a list of words
  (cd "$WORK/here" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE \
    -u XDG_CONFIG_HOME -u XDG_CACHE_HOME QT_QPA_PLATFORM=none-such HOME="$WORK/home" \
    timeout 20 "$PROGRAM" $args) >"$WORK/out" 2>"$WORK/err" || status=$?
  [ "$status" -eq "$want_status" ] ||
    fail "$args: exit status $status, want $want_status; stderr: $(cat "$WORK/err")"
  case $want_out in
  -)
    [ ! -s "$WORK/out" ] || fail "$args: stdout: $(cat "$WORK/out")"
    refused=${args#--help } refused=${refused#--version } refused=${refused%% *}
    if [ "$(wc -l <"$WORK/err")" -ne 1 ] || ! grep -qF -e "\"$refused\"" "$WORK/err" ||
      ! grep -qF -e "--help" "$WORK/err"; then
      fail "$args: stderr is not one line naming $refused and --help: $(cat "$WORK/err")"
    fi
    ;;
  =*) [ "$(cat "$WORK/out")" = "${want_out#=}" ] || fail "$args: stdout: $(cat "$WORK/out")" ;;
  *) grep -qx -e "${want_out#\~}" "$WORK/out" || fail "$args: stdout: $(cat "$WORK/out")" ;;
  esac
  [ "$want_out" = - ] || [ ! -s "$WORK/err" ] || fail "$args: stderr: $(cat "$WORK/err")"
  [ -z "$(find "$WORK/here" "$WORK/home" -mindepth 1)" ] ||
    fail "$args: wrote $(find "$WORK/here" "$WORK/home" -mindepth 1)"
  echo "$args: status $status, $(cat "$WORK/err" "$WORK/out" | head -n 1)"
done
for option in --help --version; do  # no locale set yet: the C library's English text
  status=0
  "$PROGRAM" "$option" >/dev/full 2>"$WORK/err" || status=$?
  [ "$status: $(cat "$WORK/err")" = "1: zarv_settings: cannot write to standard output: No space \
left on device" ] || fail "$option >/dev/full: status $status, stderr: $(cat "$WORK/err")"
done
