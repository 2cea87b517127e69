#!/usr/bin/env bash
# The caption offers no minimize or maximize where the window system lets a
# program say so: under openbox, a real X window manager, the dialog is a
# fixed-size dialog window whose Motif hints allow neither, and openbox's
# _NET_WM_ALLOWED_ACTIONS holds no maximize or resize. (openbox 3.6 still
# offers minimize and draws its three buttons; docs/linux.md says so.) Under
# weston, headless, the program runs on Qt's Wayland platform with
# WAYLAND_DISPLAY alone, and its window is drawn, with the caption Qt draws
# itself (Qt 6.4 draws its three buttons whatever the window allows).
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
if ! command -v openbox >/dev/null || ! command -v weston >/dev/null; then
  echo "SKIP: no openbox or weston (scripts/setup.sh test)"
  exit 77
fi
mkdir "$WORK/game"
start_xvfb 1024x768x24
openbox >"$WORK/openbox.log" 2>&1 &
# shellcheck disable=SC2034  # stopped by name at exit
wm_pid=$!
at_exit stop wm_pid
for _ in $(seq 100); do  # until openbox manages the screen
  xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' && break
  sleep 0.1
done
start_program "$WORK/game"
window=$(wait_for_window)
for _ in $(seq 100); do
  actions=$(xprop -id "$window" _NET_WM_ALLOWED_ACTIONS)
  [[ $actions == *_NET_WM_ACTION_CLOSE* ]] && break
  sleep 0.1
done
echo "openbox: $actions"
[[ $actions == *_NET_WM_ACTION_CLOSE* && $actions != *MAXIMIZE* && $actions != *RESIZE* ]] ||
  fail "openbox offers: $actions"
IFS=' ,' read -r _ _ flags functions decorations _ < <(xprop -id "$window" _MOTIF_WM_HINTS)
((flags & 3 && !(functions & 25) && !(decorations & 97))) ||
  fail "Motif hints allow minimize or maximize: $flags $functions $decorations"
xprop -id "$window" _NET_WM_WINDOW_TYPE | grep -q '= _NET_WM_WINDOW_TYPE_DIALOG' ||
  fail "not a dialog window: $(xprop -id "$window" _NET_WM_WINDOW_TYPE)"
[ "$(xprop -id "$window" WM_NORMAL_HINTS | grep -c 'program specified m.*imum size: 3')" -eq 2 ] ||
  fail "not a fixed size: $(xprop -id "$window" WM_NORMAL_HINTS)"
press Escape
wait_for_exit || fail "exit status $? under openbox"

# weston draws no captions: Qt's Wayland platform draws its own.
mkdir -m 700 "$WORK/runtime"
export XDG_RUNTIME_DIR=$WORK/runtime
weston --backend=headless-backend.so --use-pixman --debug --socket=zarv-test --width=800 \
  --height=600 >"$WORK/weston.log" 2>&1 &
# shellcheck disable=SC2034  # stopped by name at exit
weston_pid=$!
at_exit stop weston_pid
for _ in $(seq 100); do
  [ -S "$XDG_RUNTIME_DIR/zarv-test" ] && break
  sleep 0.1
done
# shoot NAME: a screenshot of the whole output, in $WORK/NAME.png.
shoot() {
  (cd "$WORK" && rm -f wayland-screenshot-*.png && WAYLAND_DISPLAY=zarv-test weston-screenshooter &&
    mv wayland-screenshot-*.png "$1.png") || fail "no screenshot: $(cat "$WORK/weston.log")"
}
sleep 1
shoot before
(cd "$WORK/game" && exec env -u DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE \
  WAYLAND_DISPLAY=zarv-test "$PROGRAM") 2>"$WORK/err" &
APP_PID=$!
for _ in $(seq 50); do
  sleep 0.2
  kill -0 "$APP_PID" || fail "the program ended on weston: $(cat "$WORK/err")"
  shoot after
  cmp -s "$WORK/before.png" "$WORK/after.png" || break
done
cmp -s "$WORK/before.png" "$WORK/after.png" && fail "no window drawn on weston"
[ ! -s "$WORK/err" ] || fail "on weston, stderr: $(cat "$WORK/err")"
echo "weston: the dialog is drawn"
