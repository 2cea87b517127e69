#!/usr/bin/env bash
# The menu entry of a package built with ZARV_USER_DIR and ZARV_MENU_NAME,
# for a game whose folder the player cannot write: installed into a DESTDIR
# and started by dex and by gio launch from the game's folder, with a PATH of
# /usr/bin:/bin, as a normal user. (A relative ZARV_GAME_DIR is refused at
# configure.) The dialog works on the player's own config.ini in
# $XDG_CONFIG_HOME/<name> (~/.config/<name> when XDG_CONFIG_HOME is unset or
# relative), made for the player alone on first use, and OK saves it; the
# game's folder is not touched.
#   $2  the program's install script (<build>/app/qt/cmake_install.cmake)
#   $3  the folder name, ZARV_USER_DIR
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
INSTALL_SCRIPT=$2
NAME=$3
SOURCE=$(dirname "$0")/../../..

if cmake -S "$SOURCE" -B "$WORK/relative" -DZARV_BUILD_TESTS=OFF -DZARV_BUILD_BENCH=OFF \
  -DZARV_GAME_DIR=relative/dir >"$WORK/log" 2>&1 ||
  ! grep -qF "ZARV_GAME_DIR must be an absolute path: relative/dir" "$WORK/log"; then
  fail "a relative ZARV_GAME_DIR: $(cat "$WORK/log")"
fi

# The program's install rules alone (the top-level script would write its
# manifest into the build folder, which may belong to another user), and the
# launcher and entry of a package configured for the DESTDIR's prefix.
root=$WORK/root/usr
DESTDIR="$WORK/root" cmake -DCMAKE_INSTALL_PREFIX=/usr -P "$INSTALL_SCRIPT" >/dev/null
cmake -S "$SOURCE" -B "$WORK/package" -DZARV_BUILD_TESTS=OFF -DZARV_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX="$root" -DZARV_USER_DIR="$NAME" -DZARV_MENU_NAME="$NAME game" \
  >"$WORK/log" 2>&1 || fail "configure: $(cat "$WORK/log")"
install -D "$WORK/package/app/qt/zarv-settings" "$root/lib/zarv-settings/zarv-settings"
entry=$root/share/applications/zarv_settings.desktop
install -D -m 644 "$WORK/package/app/qt/zarv_settings.desktop" "$entry"
[ "$(grep ^Name "$entry")" = "Name=$NAME game
Name[zh_CN]=环境配置
Name[zh_TW]=設定程式" ] || fail "the entry's names: $(grep ^Name "$entry")"
[ "$(grep ^Exec= "$entry")" = "Exec=$root/lib/zarv-settings/zarv-settings" ] ||
  fail "the entry's command: $(grep ^Exec= "$entry")"

# The game's folder, with a config.ini of its own: root's and read-only for
# the player when the suite runs as root (the player is then nobody), else
# a folder without write permission.
mkdir "$WORK/game" "$WORK/home" "$WORK/xdg"
cp "$EXPECTED/existing-before.ini" "$WORK/game/config.ini"
if [ "$(id -u)" -eq 0 ]; then
  RUN_AS="setpriv --reuid=65534 --regid=65534 --clear-groups"
  $RUN_AS test -x "$root/games/zarv_settings" || { echo "SKIP: nobody cannot run it"; exit 77; }
  chown 65534:65534 "$WORK/home" "$WORK/xdg"
  chmod 755 "$WORK/game"
  chmod 644 "$WORK/game/config.ini"
else
  RUN_AS=
  chmod 555 "$WORK/game"
fi
$RUN_AS test ! -w "$WORK/game" || fail "the player can write the game's folder"
# game_state: every entry of the game's folder with its times and bytes.
game_state() {
  find "$WORK/game" -printf '%p %y %m %U %s %T@ %C@\n' -type f -exec cksum {} +
}
game_before=$(game_state)

# launch TOOL [VAR=VALUE...]: starts the entry with TOOL (dex or gio) from
# the game's folder, with a PATH without games/, accepts the dialog with
# Return and waits for the program to end.
launch() {
  local tool=(dex) window pid
  [ "$1" = dex ] || tool=(gio launch)
  shift
  # shellcheck disable=SC2086  # RUN_AS is a command prefix of several words
  (cd "$WORK/game" &&
    exec env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE -u XDG_CONFIG_HOME \
      -u DBUS_SESSION_BUS_ADDRESS HOME="$WORK/home" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 \
      VK_ICD_FILENAMES=/nonexistent/none.json "$@" $RUN_AS "${tool[@]}" "$entry") \
    >"$WORK/launch.log" 2>&1 || fail "${tool[*]}: $(cat "$WORK/launch.log")"
  window=$(timeout 20 xdotool search --sync --onlyvisible --classname zarv_settings | head -n 1) ||
    fail "${tool[*]}: no window; $(cat "$WORK/launch.log")"
  pid=$(xdotool getwindowpid "$window")
  xdotool windowfocus --sync "$window" key Return
  for _ in $(seq 400); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.05
  done
  fail "${tool[*]}: the program did not end"
}

# mode_of DIR: the folder's permission bits and owner.
mode_of() {
  stat -c '%a %u' "$1"
}
player=$($RUN_AS id -u)
first_run=$(first_run_file)
start_xvfb 1024x768x24

# First use: the folder is made for the player alone, with a new config.ini.
own="$WORK/home/.config/$NAME"
launch dex
[ "$(mode_of "$own")" = "700 $player" ] || fail "$own: $(mode_of "$own")"
expect_bytes "$own/config.ini" "$first_run"

# The player's own values are shown: OK writes them back as they are. A
# relative XDG_CONFIG_HOME is ignored (else the entry would fail in the game's
# folder).
cp "$EXPECTED/existing-ok-on-1024x768.ini" "$own/config.ini"
launch gio XDG_CONFIG_HOME=xdg
expect_bytes "$own/config.ini" "$EXPECTED/existing-ok-on-1024x768.ini"

# With XDG_CONFIG_HOME the folder is made there.
launch dex XDG_CONFIG_HOME="$WORK/xdg"
[ "$(mode_of "$WORK/xdg/$NAME")" = "700 $player" ] || fail "$WORK/xdg/$NAME: $(mode_of "$WORK/xdg/$NAME")"
expect_bytes "$WORK/xdg/$NAME/config.ini" "$first_run"

[ "$(game_state)" = "$game_before" ] || fail "the game's folder changed: $(game_state)"
echo "per-user folder: ok"
