#!/usr/bin/env bash
# Screenshots of the Windows dialogs as Wine draws them, on a private Xvfb:
# the settings dialog from both templates (zh_CN, zh_TW) and the About box.
#   scripts/screenshots-win32.sh BUILD_DIR   (writes docs/win32-*.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "$1")/bin/zarv_settings.exe
locales=$(realpath "$1")/locales
work=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
  [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp 8>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
export DISPLAY=:$(head -n1 "$work/display")

wait_window() {
  local window=
  for _ in $(seq 600); do
    window=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.5
  done
  [ -n "$window" ] || { echo "screenshots-win32: no window \"$1\"" >&2; exit 1; }
  sleep 2  # let Wine finish drawing
  echo "$window"
}

shoot() { import -window "$1" "$root/docs/$2"; echo "docs/$2"; }

# shots LOCALE CAPTION NAME [ABOUT_NAME]
shots() {
  mkdir -p "$work/$1"
  (cd "$work/$1" && LANG=$1.UTF-8 LOCPATH=$locales ZARV_USE_DISPLAY=1 "$root/scripts/wine-run.sh" "$exe") &
  program_pid=$!
  local window
  window=$(wait_window "$2")
  shoot "$window" "$3"
  if [ -n "${4:-}" ]; then
    # The About entry is the last of the system menu (Alt+Space).
    xdotool windowfocus --sync "$window" key alt+space
    sleep 1
    xdotool key Up Return
    shoot "$(wait_window settings)" "$4"
    xdotool key Return
    sleep 1
  fi
  xdotool windowfocus --sync "$window" key Escape
  wait "$program_pid" || true
  program_pid=
}

mkdir -p "$root/docs"
shots zh_CN '环境配置' win32-settings-zh_CN.png win32-about.png
shots zh_TW '設定程式' win32-settings-zh_TW.png
