#!/usr/bin/env bash
# Screenshots of the Windows dialogs as Wine draws them, on a private Xvfb:
# the settings dialog from both templates (zh_CN, zh_TW), under an English
# locale (en_US) and the About box, and both dialogs at 144 and 192 DPI.
# Each run starts in an empty folder, so the dialog shows a first run.
#   scripts/screenshots-win32.sh BUILD_DIR   (writes docs/win32-*.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "$1")/bin
locales=$(realpath "$1")/locales
# shellcheck source=scripts/xvfb.sh
. "$root/scripts/xvfb.sh"
program_pid=
at_exit stop program_pid
# Room for the dialog at 192 DPI, and a mode 1024 pixels wide as the tests'
# 1024x768 screen has, so that "1024 x 768" is offered.
start_xvfb 2560x1600x24
xrandr --newmode m1024 63.50 1024 1072 1176 1328 768 771 775 798 -hsync +vsync
xrandr --addmode screen m1024

# shot PROGRAM LOCALE CAPTION NAME [DPI]
shot() {
  mkdir -p "$WORK/$4"
  (cd "$WORK/$4" && LANG=$2.UTF-8 LOCPATH=$locales ZARV_USE_DISPLAY=1 ZARV_DPI=${5:-96} \
    "$root/scripts/wine-run.sh" "$1") &
  program_pid=$!
  local window
  window=$(wait_window 300 "$program_pid" "$3") || fail "no window \"$3\""
  sleep 2  # let Wine finish drawing
  import -window "$window" "$root/docs/$4"
  echo "docs/$4"
  xdotool windowfocus --sync "$window" key Escape
  wait "$program_pid" || true
  program_pid=
}

mkdir -p "$root/docs"
shot "$bin/zarv_settings.exe" zh_CN '环境配置' win32-settings-zh_CN.png
shot "$bin/zarv_settings.exe" zh_TW '設定程式' win32-settings-zh_TW.png
# Unicode windows: the Chinese texts whatever the locale's code page. Wine
# picks the Taiwan template for a non-Chinese locale.
shot "$bin/zarv_settings.exe" en_US '設定程式' win32-settings-en_US.png
# The About box alone, shown by a small tool of the tests.
shot "$bin/win32_about_box.exe" zh_CN settings win32-about.png
for dpi in 144 192; do
  shot "$bin/zarv_settings.exe" zh_CN '环境配置' "win32-settings-zh_CN-${dpi}dpi.png" "$dpi"
  shot "$bin/win32_about_box.exe" zh_CN settings "win32-about-${dpi}dpi.png" "$dpi"
done
