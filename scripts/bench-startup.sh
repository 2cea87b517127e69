#!/usr/bin/env bash
# Start-up benchmark of a build, on a private Xvfb 1024x768
# (scripts/bench-startup.py measures and prints):
#   scripts/bench-startup.sh [--also PROGRAM.exe] <build-dir> [rounds]
# Linux (default 25 rounds): the program's start-up (bench_startup_dialog,
# also as a first run, without config.ini) against a bare Qt dialog with a
# line of Chinese (goal: 1.10 times the time and memory; a first run 1.3
# times a start-up's time, 1.2 its memory).
# Windows (default 30 rounds), under one warm wineserver (wine-run.sh --env):
# zarv_settings.exe, also as a first run, against bench_startup_yardstick.exe,
# the settings dialog from the same resources shown by a plain
# DialogBoxParamW that asks the probe in WM_INITDIALOG (goal: 1.05 times);
# once without a GL driver (the X server offers no GLX), then with Debian's
# i386 Mesa (scripts/setup.sh gl, which installs it when missing). --also
# measures another zarv_settings.exe (say, an older build) in the same rounds.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
also=()
[ "${1:-}" != --also ] || { also=("$(realpath "$2")") && shift 2; }
build=$(cd "${1:?usage: $0 [--also PROGRAM.exe] <build-dir> [rounds]}" && pwd)
config=$scripts/../tests/app/expected/existing-before.ini
# shellcheck source=scripts/xvfb.sh
. "$scripts/xvfb.sh"

if [ ! -e "$build/bin/zarv_settings.exe" ]; then
  start_xvfb 1024x768x24
  python3 "$scripts/bench-startup.py" "$build/bin" "${2:-25}" "$WORK" "$config" "Linux, Xvfb 1024x768"
  exit
fi
"$scripts/setup.sh" gl
export LANG=zh_CN.UTF-8 LOCPATH=$build/locales ZARV_USE_DISPLAY=1
for gl in "no GL driver" "GL driver"; do
  if [ "$gl" = "GL driver" ]; then start_xvfb 1024x768x24; else start_xvfb 1024x768x24 -extension GLX; fi
  mkdir "$WORK/$gl"
  "$scripts/wine-run.sh" --env "$build" python3 "$scripts/bench-startup.py" "$build/bin" "${2:-30}" \
    "$WORK/$gl" "$config" "Wine, Xvfb 1024x768, $gl" "${also[@]}"
  stop xvfb_pid
done
