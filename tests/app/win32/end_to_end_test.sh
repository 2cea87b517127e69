#!/usr/bin/env bash
# The program itself under Wine on a private Xvfb, driven from the keyboard
# with xdotool (Return = OK, Escape = Cancel). config.ini must hold the bytes
# of the file in EXPECTED_DIR that the Linux program's tests also compare with.
#   end_to_end_test.sh zarv_settings.exe EXPECTED_DIR CASE
# CASE is first-run-without-directdraw, existing-ok-on-1024x768,
# existing-ok-on-800x600, read-only-file, started-in-wildcard-folder,
# about-from-keyboard or about-from-mouse.
set -euo pipefail
exe=$(realpath "$1")
expected=$(realpath "$2")
name=$3
root=$(cd "$(dirname "$0")/../../.." && pwd)
# shellcheck source=scripts/xvfb.sh
. "$root/scripts/xvfb.sh"
caption=环境配置
dir=$WORK/$name
mkdir -p "$dir"
program_pid=
at_exit stop program_pid

# launch [VAR=VALUE...]: starts the program in $dir under zh_CN.UTF-8, its
# stderr in $WORK/wine.log, and sets `window` to its first window titled as
# the dialog.
launch() {
  (cd "$dir" && exec env "$@" LANG=zh_CN.UTF-8 ZARV_USE_DISPLAY=1 "$root/scripts/wine-run.sh" "$exe" \
    2>"$WORK/wine.log") &
  program_pid=$!
  window=$(wait_window 300 "$program_pid" "$caption") || fail "$name: no window titled $caption"
}

# press WINDOW KEY...: focuses the window and sends the keys.
press() { xdotool windowfocus --sync "$1" key "${@:2}" || true; }

# ends_with STATUS: waits for the program; fails unless it ends with STATUS.
ends_with() {
  local status=0
  wait "$program_pid" || status=$?
  program_pid=
  [ "$status" -eq "$1" ] || fail "$name: the program ended with status $status, not $1: $(cat "$WORK/wine.log")"
}

# poll COMMAND...: runs the command every half second until it succeeds, for
# up to 30 seconds; fails when it never does.
poll() {
  for _ in $(seq 60); do
    "$@" && return 0
    sleep 0.5
  done
  return 1
}

# The visible windows titled exactly $1.
windows_titled() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; }

# Sets `other` to a visible window titled as the dialog other than the
# dialog, or sees none. Run by poll, which shellcheck does not see.
# shellcheck disable=SC2317
find_other() {
  other=$(windows_titled "$caption" | grep -vx "$window" | head -n1 || true)
  [ -n "$other" ]
}
# shellcheck disable=SC2317
no_other() { ! find_other; }

# saves_as SCREEN KEY INITIAL|- EXPECTED [VAR=VALUE...]: config.ini exists
# while the dialog is open, and holds the bytes of EXPECTED once KEY ends
# the program.
saves_as() {
  local key=$2 want=$expected/$4
  [ "$3" = - ] || cp "$expected/$3" "$dir/config.ini"
  start_xvfb "$1"
  launch "${@:5}"
  [ -f "$dir/config.ini" ] || fail "$name: config.ini does not exist while the dialog is open"
  press "$window" "$key"
  ends_with 0
  cmp -s "$dir/config.ini" "$want" ||
    fail "$name: config.ini differs from $want: $(diff <(od -c "$want") <(od -c "$dir/config.ini"))"
}

# read-only-file: config.ini cannot be saved. Return shows a message window
# whose text, as Wine's msgbox channel logs it (a character other than ASCII
# as \xxxx), is "无法保存 config.ini（文件夹：", the folder's name, "）：" and
# a sentence of eight Chinese characters (U+4000 to U+9FFF) at least; Return
# dismisses it and the dialog stays; Escape ends the program.
save_error() {
  cp "$expected/existing-before.ini" "$dir/config.ini" && chmod a-w "$dir/config.ini"
  start_xvfb 1024x768x24
  launch ZARV_WINEDEBUG=+msgbox
  press "$window" Return
  poll find_other || fail "$name: Return showed no message window"
  press "$other" Return
  if ! poll no_other || ! kill -0 "$program_pid" 2>/dev/null || ! windows_titled "$caption" | grep -qx "$window"; then
    fail "$name: Return did not dismiss the message, or the dialog did not stay"
  fi
  press "$window" Escape
  ends_with 0
  local told sentence
  told=$(grep -a -o 'MSGBOX_OnInit L".*' "$WORK/wine.log" | head -n1 || true)
  sentence=${told#*'\65e0\6cd5\4fdd\5b58 config.ini\ff08\6587\4ef6\5939\ff1a'*"\\$name"'\ff09\ff1a'}
  { [ "$sentence" != "$told" ] && [ "$(grep -o '\\[4-9][0-9a-f]\{3\}' <<<"$sentence" | wc -l)" -ge 8 ]; } ||
    fail "$name: the message names no next step: ${told:-none logged}"
}

# What must not change: every entry of the folder with its size, time stamp
# and mode, and the bytes of config.ini if it is a file.
snapshot() {
  (cd "$1" && find . -printf '%p %y %s %T@ %m\n' | sort && if [ -f config.ini ]; then md5sum config.ini; fi)
}

# started-in-wildcard-folder: Wine starts the program in C:\windows, having
# no Windows name for its folder. One window maps, the message, and the
# settings dialog never does; Return dismisses it and the program ends with
# status 1. Nothing changes: the folders of the case and the prefix's drive
# C, which holds no config.ini. Without GLX: with a GL driver, Direct3D maps
# windows of its own.
open_error() {
  local case_dir=$dir before maps
  dir="$case_dir/game?" && mkdir -p "$dir"
  before=$(snapshot "$case_dir")
  start_xvfb 1024x768x24 -extension GLX
  xev -root -event substructure >"$WORK/events" 2>/dev/null &
  launch ZARV_PREFIX_LISTING="$WORK/prefix-files"
  press "$window" Return
  ends_with 1
  maps=$(grep -c '^MapNotify' "$WORK/events" || true)
  [ "$maps" -eq 1 ] || fail "$name: $maps windows were shown, not the message alone"
  [ ! -s "$WORK/prefix-files" ] || fail "$name: written in the prefix: $(cat "$WORK/prefix-files")"
  [ "$(snapshot "$case_dir")" = "$before" ] ||
    fail "$name: the folder changed: $(diff <(echo "$before") <(snapshot "$case_dir"))"
}

# Sets `menu` to an open menu (a visible window of the program without a
# title, other than the dialog) or `about` to the About box. Run by poll.
# shellcheck disable=SC2317
find_menu() {
  menu=$(xdotool search --onlyvisible --class zarv_settings 2>/dev/null | grep -vx "$window" |
    while read -r w; do [ -n "$(xdotool getwindowname "$w")" ] || echo "$w"; done | head -n1 || true)
  [ -n "$menu" ]
}
# shellcheck disable=SC2317
find_about() {
  about=$(windows_titled settings | head -n1)
  [ -n "$about" ]
}
# shellcheck disable=SC2317
no_about() { [ -z "$(windows_titled settings)" ]; }

# about-from-keyboard, about-from-mouse: the context menu from the keyboard
# (Shift+F10, with the pointer outside the dialog: the menu opens at the
# focused control, inside the dialog) or with the right button on the dialog
# (the menu opens at the pointer); A opens the About box, Return closes it
# and the dialog stays; Escape ends the program without writing.
about() {
  local X Y WIDTH HEIGHT
  cp "$expected/existing-before.ini" "$dir/config.ini"
  start_xvfb 1024x768x24
  launch
  eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  local left=$X top=$Y right=$((X + WIDTH)) bottom=$((Y + HEIGHT))
  if [ "$name" = about-from-keyboard ]; then
    xdotool mousemove 0 0 windowfocus --sync "$window" key shift+F10 || true
  else
    xdotool windowfocus --sync "$window" mousemove --window "$window" 150 200 click 3 || true
  fi
  poll find_menu || fail "$name: no menu opened"
  eval "$(xdotool getwindowgeometry --shell "$menu" | grep -E '^(X|Y)=')"
  if [ "$name" = about-from-keyboard ] &&
    ! { [ "$X" -gt "$left" ] && [ "$X" -lt "$right" ] && [ "$Y" -gt "$top" ] && [ "$Y" -lt "$bottom" ]; }; then
    fail "$name: the menu opened at $X,$Y, outside the dialog ($left,$top to $right,$bottom)"
  elif [ "$name" = about-from-mouse ] && [ "$X,$Y" != "$((left + 150)),$((top + 200))" ]; then
    fail "$name: the menu opened at $X,$Y, not at the pointer ($((left + 150)),$((top + 200)))"
  fi
  xdotool key a || true
  poll find_about || fail "$name: A opened no About box"
  press "$about" Return
  { poll no_about && windows_titled "$caption" | grep -qx "$window"; } ||
    fail "$name: Return did not close the About box, or the dialog did not stay"
  press "$window" Escape
  ends_with 0
  cmp -s "$dir/config.ini" "$expected/existing-before.ini" || fail "$name: config.ini changed"
}

main() {
  case $name in
    about-from-keyboard | about-from-mouse) about ;;
    read-only-file) save_error ;;
    started-in-wildcard-folder) open_error ;;
    # First run without DirectDraw, then Cancel: the file of the first run is
    # there, with the failure values (motion blur off), and the program runs.
    first-run-without-directdraw)
      saves_as 1024x768x24 Escape - first-run.ini WINEDLLOVERRIDES=ddraw=d
      ;;
    # An existing file asking for 1024 x 768, then OK: odd values normalised,
    # the comment gone and every other key and section kept; 800 x 600 is
    # written on a screen without a 1024-wide mode.
    existing-ok-on-1024x768) saves_as 1024x768x24 Return existing-before.ini "$name.ini" ;;
    existing-ok-on-800x600) saves_as 800x600x24 Return existing-before.ini "$name.ini" ;;
    *) echo "unknown case $name" >&2 && return 2 ;;
  esac
  echo "ok $name"
}

# The whole script is read before it runs, so editing it cannot disturb runs.
main
exit $?
