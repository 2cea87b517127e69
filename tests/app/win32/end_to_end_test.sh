#!/usr/bin/env bash
# The program itself under Wine on a private Xvfb, driven from the keyboard
# with xdotool (Return = OK, Escape = Cancel). config.ini must hold the bytes
# in EXPECTED_DIR, which are what the Linux program writes in the same case.
#   end_to_end_test.sh zarv_settings.exe EXPECTED_DIR CASE
# CASE is first-run-without-directdraw, existing-ok-on-800x600, read-only-file,
# started-in-wildcard-folder, about-from-keyboard or
# about-from-mouse.
set -euo pipefail
exe=$(realpath "$1")
expected=$(realpath "$2")
wine_run=$(cd "$(dirname "$0")/../../.." && pwd)/scripts/wine-run.sh
work=$(mktemp -d)
xvfb_pid=
program_pid=
# shellcheck disable=SC2317  # run by the EXIT trap, which shellcheck does not see
cleanup() {
  [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0

# shellcheck source=scripts/xvfb.sh
. "$(dirname "$wine_run")/xvfb.sh"

# Prints the id of the visible window titled exactly $1 once it shows, or
# nothing when process $2 ends first or five minutes pass.
wait_for_window() {
  local window=
  for _ in $(seq 600); do
    window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    kill -0 "$2" 2>/dev/null || break
    sleep 0.5
  done
  echo "$window"
}

# Waits for the program to end and stops its X server; returns the
# program's exit status.
end_program() {
  local status=0
  wait "$program_pid" || status=$?
  program_pid=
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
  return "$status"
}

# run_case NAME SCREEN KEY INITIAL_FILE|- EXPECTED_FILE [ENV...]
run_case() {
  local name=$1 screen=$2 key=$3 initial=$4 want=$5
  shift 5
  echo "== $name"
  local dir=$work/$name
  mkdir -p "$dir"
  [ "$initial" = - ] || cp "$expected/$initial" "$dir/config.ini"
  start_xvfb "$screen"
  (cd "$dir" && env "$@" LANG=zh_CN.UTF-8 ZARV_USE_DISPLAY=1 "$wine_run" "$exe") &
  program_pid=$!
  local window
  window=$(wait_for_window 环境配置 "$program_pid")
  if [ -z "$window" ]; then
    echo "FAIL $name: the dialog did not open"
    failures=$((failures + 1))
    kill "$program_pid" 2>/dev/null || true  # else the wait below never ends
  else
    if [ ! -f "$dir/config.ini" ]; then
      echo "FAIL $name: config.ini does not exist while the dialog is open"
      failures=$((failures + 1))
    fi
    xdotool windowfocus --sync "$window" key "$key" || echo "xdotool failed"
  fi
  local status=0
  end_program || status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAIL $name: the program ended with status $status"
    failures=$((failures + 1))
  elif ! cmp -s "$dir/config.ini" "$expected/$want"; then
    echo "FAIL $name: config.ini differs from $want"
    diff <(od -c "$expected/$want") <(od -c "$dir/config.ini") || true
    failures=$((failures + 1))
  else
    echo "ok $name"
  fi
}

# What must not change: every entry of the folder with its size, time stamp
# and mode, and the bytes of config.ini if it is a file.
snapshot() {
  (cd "$1" && find . -printf '%p %y %s %T@ %m\n' | sort && if [ -f config.ini ]; then md5sum config.ini; fi)
}

# The visible windows titled $1 other than window $2.
other_windows() {
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vx "$2" || true
}

# run_save_error_case NAME: config.ini cannot be saved (read-only). Return
# shows a message window that names the next step, and the dialog stays;
# Return dismisses the message; Escape ends the program.
run_save_error_case() {
  local name=$1 caption=环境配置
  echo "== $name"
  local dir=$work/$name
  mkdir -p "$dir"
  cp "$expected/existing-before.ini" "$dir/config.ini" && chmod a-w "$dir/config.ini"
  start_xvfb 1024x768x24
  (cd "$dir" && LANG=zh_CN.UTF-8 ZARV_USE_DISPLAY=1 ZARV_WINEDEBUG=+msgbox "$wine_run" "$exe" \
    2>"$work/$name.log") &
  program_pid=$!
  local window message='' step
  window=$(wait_for_window "$caption" "$program_pid")
  step="the dialog did not open"
  if [ -n "$window" ]; then
    xdotool windowfocus --sync "$window" key Return || true
    for _ in $(seq 60); do
      message=$(other_windows "$caption" "$window" | head -n1)
      [ -n "$message" ] && break
      sleep 0.5
    done
    step="Return showed no message window"
  fi
  if [ -n "$message" ]; then
    xdotool windowfocus --sync "$message" key Return || true
    for _ in $(seq 60); do
      [ -z "$(other_windows "$caption" "$window")" ] && break
      sleep 0.5
    done
    step="Return did not dismiss the message, or the dialog did not stay"
    if [ -z "$(other_windows "$caption" "$window")" ] && kill -0 "$program_pid" 2>/dev/null &&
      xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | grep -qx "$window"; then
      step=
      xdotool windowfocus --sync "$window" key Escape || true
    fi
  fi
  finish_case "$name" "$step" told_next_step "$work/$name.log"
}

# told_next_step LOG: the message, as Wine's msgbox channel logs it in LOG
# (a character other than ASCII as \xxxx), is "无法保存 config.ini：" and a
# sentence of eight Chinese characters (U+4000 to U+9FFF) at least; else
# says what it was.
# shellcheck disable=SC2317  # run by finish_case, which shellcheck does not see
told_next_step() {
  local told sentence
  told=$(grep -a -o 'MSGBOX_OnInit L".*' "$1" | head -n1 || true)
  sentence=${told#*'\65e0\6cd5\4fdd\5b58 config.ini\ff1a'}
  [ "$sentence" != "$told" ] && [ "$(grep -o '\\[4-9][0-9a-f]\{3\}' <<<"$sentence" | wc -l)" -ge 8 ] &&
    return 0
  echo "the message names no next step: ${told:-none logged}"
  return 1
}

# run_open_error_case NAME: Wine started the program in C:\windows, having
# no Windows name for its folder. One window maps, the message, and the
# settings dialog never does; Return dismisses it and the program ends with
# status 1. Nothing changes: the folders of the case and the prefix's drive
# C, which holds no config.ini.
run_open_error_case() {
  local name=$1 dir step status=0 reason
  local listing=$work/$name.prefix-files
  echo "== $name"
  dir="$work/$name/game?" && mkdir -p "$dir"
  local before
  before=$(snapshot "$work/$name")
  # Without GLX: with a GL driver, Direct3D maps windows of its own.
  start_xvfb 1024x768x24 -extension GLX
  xev -root -event substructure >"$work/$name.events" 2>/dev/null &
  local xev_pid=$!
  (cd "$dir" && LANG=zh_CN.UTF-8 ZARV_USE_DISPLAY=1 ZARV_PREFIX_LISTING=$listing "$wine_run" "$exe") &
  program_pid=$!
  local message
  message=$(wait_for_window 环境配置 "$program_pid")
  step="no message window"
  if [ -n "$message" ]; then
    step=
    xdotool windowfocus --sync "$message" key Return || true
  fi
  [ -z "$step" ] || kill "$program_pid" 2>/dev/null || true
  end_program || status=$?
  kill "$xev_pid" 2>/dev/null || true
  local maps
  maps=$(grep -c '^MapNotify' "$work/$name.events" || true)
  if [ -n "$step" ]; then
    echo "FAIL $name: $step"
  elif [ "$status" -ne 1 ]; then
    echo "FAIL $name: the program ended with status $status, not 1"
  elif [ "$maps" -ne 1 ]; then
    echo "FAIL $name: $maps windows were shown, not the message alone"
  elif [ -s "$listing" ]; then
    echo "FAIL $name: written in the prefix: $(cat "$listing")"
  elif ! reason=$(unchanged_folder "$work/$name" "$before"); then
    echo "FAIL $name: $reason"
  else
    echo "ok $name"
    return
  fi
  failures=$((failures + 1))
}

# unchanged_folder DIR BEFORE: DIR is as its snapshot BEFORE; else says how.
# Run by finish_case, which shellcheck does not see.
# shellcheck disable=SC2317
unchanged_folder() {
  [ "$(snapshot "$1")" = "$2" ] && return 0
  echo "the folder changed"
  diff <(echo "$2") <(snapshot "$1") || true
  return 1
}

# unchanged_config DIR: DIR/config.ini holds the bytes it started with.
# shellcheck disable=SC2317
unchanged_config() {
  cmp -s "$1/config.ini" "$expected/existing-before.ini" || { echo "config.ini changed" && false; }
}

# finish_case NAME STEP CHECK...: ends the program (killed when STEP, the
# step that failed, is set) and reports the case: the failed step, a status
# other than 0, or the reason the command CHECK gives when it fails.
finish_case() {
  local name=$1 step=$2 status=0 reason
  shift 2
  [ -z "$step" ] || kill "$program_pid" 2>/dev/null || true
  end_program || status=$?
  if [ -n "$step" ]; then
    echo "FAIL $name: $step"
  elif [ "$status" -ne 0 ]; then
    echo "FAIL $name: the program ended with status $status"
  elif ! reason=$("$@"); then
    echo "FAIL $name: $reason"
  else
    echo "ok $name"
    return
  fi
  failures=$((failures + 1))
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

# Set `menu` to an open menu (a visible window of the program without a
# title, other than window $1) or `about` to the About box. Run by poll,
# which shellcheck does not see.
# shellcheck disable=SC2317
find_menu() {
  menu=$(xdotool search --onlyvisible --class zarv_settings 2>/dev/null | grep -vx "$1" |
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

# run_about_case NAME: the context menu from the keyboard (Shift+F10, with
# the pointer outside the dialog: the menu opens at the focused control,
# inside the dialog) or with the right button on the dialog (the menu opens
# at the pointer); A opens the About box, Return closes it and the dialog
# stays; Escape ends the program without writing.
run_about_case() {
  local name=$1 window menu='' about='' step X Y WIDTH HEIGHT
  echo "== $name"
  local dir=$work/$name
  mkdir -p "$dir"
  cp "$expected/existing-before.ini" "$dir/config.ini"
  start_xvfb 1024x768x24
  (cd "$dir" && LANG=zh_CN.UTF-8 ZARV_USE_DISPLAY=1 "$wine_run" "$exe") &
  program_pid=$!
  window=$(wait_for_window 环境配置 "$program_pid")
  step="the dialog did not open"
  if [ -n "$window" ]; then
    eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    local left=$X top=$Y right=$((X + WIDTH)) bottom=$((Y + HEIGHT))
    if [ "$name" = about-from-keyboard ]; then
      xdotool mousemove 0 0 windowfocus --sync "$window" key shift+F10 || true
    else
      xdotool windowfocus --sync "$window" mousemove --window "$window" 150 200 click 3 || true
    fi
    step="no menu opened"
    if poll find_menu "$window"; then
      eval "$(xdotool getwindowgeometry --shell "$menu" | grep -E '^(X|Y)=')"
      if [ "$name" = about-from-keyboard ] &&
        ! { [ "$X" -gt "$left" ] && [ "$X" -lt "$right" ] && [ "$Y" -gt "$top" ] && [ "$Y" -lt "$bottom" ]; }; then
        step="the menu opened at $X,$Y, outside the dialog ($left,$top to $right,$bottom)"
      elif [ "$name" = about-from-mouse ] && [ "$X,$Y" != "$((left + 150)),$((top + 200))" ]; then
        step="the menu opened at $X,$Y, not at the pointer ($((left + 150)),$((top + 200)))"
      else
        xdotool key a || true
        step="A opened no About box"
        if poll find_about; then
          xdotool windowfocus --sync "$about" key Return || true
          step="Return did not close the About box, or the dialog did not stay"
          if poll no_about && windows_titled 环境配置 | grep -qx "$window"; then
            step=
            xdotool windowfocus --sync "$window" key Escape || true
          fi
        fi
      fi
    fi
  fi
  finish_case "$name" "$step" unchanged_config "$dir"
}

main() {
  case $1 in
    # The About box from the context menu.
    about-from-keyboard | about-from-mouse)
      run_about_case "$1"
      ;;
    # OK cannot save: the player is told, and nothing is written.
    read-only-file)
      run_save_error_case "$1"
      ;;
    # The folder cannot be used: the player is told at open, nothing is written.
    started-in-wildcard-folder)
      run_open_error_case "$1"
      ;;
    # First run without DirectDraw, then Cancel: the file of the first run is
    # there, with the failure values (motion blur off), and the program runs.
    first-run-without-directdraw)
      run_case "$1" 1024x768x24 Escape - first-run-without-directdraw.ini WINEDLLOVERRIDES=ddraw=d
      ;;
    # An existing file asking for 1024 x 768 on a screen without such a mode,
    # then OK: 800 x 600 is written and every other key and section is kept.
    existing-ok-on-800x600)
      run_case "$1" 800x600x24 Return existing-before.ini existing-ok-on-800x600.ini
      ;;
    *)
      echo "unknown case $1" >&2
      return 2
      ;;
  esac
  [ "$failures" -eq 0 ]
}

# The whole script is read before it runs, so editing it cannot disturb runs.
main "$3"
exit $?
