#!/usr/bin/env bash
# The menu entry of a package built with ZARV_USER_DIR, for a game whose
# folder the player cannot write: installed into a DESTDIR, its Exec and Path
# run as a desktop runs them, with a PATH of /usr/bin:/bin, as a normal user;
# ZARV_MENU_NAME names it. (A relative ZARV_GAME_DIR is refused at configure.)
# The dialog works on the player's own config.ini in $XDG_CONFIG_HOME/<name>
# (~/.config/<name> when XDG_CONFIG_HOME is unset or relative), made for the
# player alone on first use, and OK saves it; the game's folder, where the
# entry is started, is not touched.
#   $2  the program's install script (<build>/app/qt/cmake_install.cmake)
#   $3  the folder name, ZARV_USER_DIR
# shellcheck source=tests/app/qt/e2e_lib.sh
source "$(dirname "$0")/e2e_lib.sh"
INSTALL_SCRIPT=$2
NAME=$3

if cmake -S "$(dirname "$0")/../../.." -B "$WORK/relative" -DZARV_BUILD_TESTS=OFF \
  -DZARV_GAME_DIR=relative/dir >"$WORK/log" 2>&1 ||
  ! grep -qF "ZARV_GAME_DIR must be an absolute path: relative/dir" "$WORK/log"; then
  fail "a relative ZARV_GAME_DIR: $(cat "$WORK/log")"
fi

# The program's install rules alone: the top-level script would write its
# manifest into the build folder, which may belong to another user.
DESTDIR="$WORK/root" cmake -DCMAKE_INSTALL_PREFIX=/usr -P "$INSTALL_SCRIPT" >/dev/null
installed_entry=$WORK/root/usr/share/applications/zarv_settings.desktop
cmake -DOUTPUT="$installed_entry" -DPROGRAM="$WORK/root/usr/games/zarv_settings" \
  -DUSER_DIR="$NAME" -DNAME="$NAME game" -P "$(dirname "$0")/desktop_entry.cmake"
[ "$(grep -c -x "Name\(\[zh_CN\]\|\[zh_TW\]\|\)=$NAME game" "$installed_entry")" -eq 3 ] ||
  fail "the entry is not named after the game: $(grep ^Name "$installed_entry")"
[ -z "$(tail -c 1 "$installed_entry")" ] || fail "the entry does not end with a line end"

# Path and the arguments of Exec, as a desktop reads the entry.
mapfile -d '' launch < <(python3 "$(dirname "$0")/desktop_exec.py" "$installed_entry")
[ "${#launch[@]}" -ge 2 ] || fail "no Exec in the entry"
entry_path=${launch[0]}
entry_exec=("${launch[@]:1}")
echo "Exec: ${entry_exec[*]}"

# The game's folder, with a config.ini of its own: root's and read-only for
# the player when the suite runs as root (the player is then nobody), else
# a folder without write permission.
mkdir "$WORK/game" "$WORK/home" "$WORK/xdg"
crlf '[display]
width=1024
[misc]
motionblur=1' >"$WORK/game/config.ini"
if [ "$(id -u)" -eq 0 ]; then
  RUN_AS="setpriv --reuid=65534 --regid=65534 --clear-groups"
  $RUN_AS test -x "$WORK/root/usr/games/zarv_settings" || { echo "SKIP: nobody cannot run it"; exit 77; }
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

# launch [VAR=VALUE...]: runs the entry from the game's folder, as a desktop
# started there would, with a PATH without games/.
launch() {
  # shellcheck disable=SC2086  # RUN_AS is a command prefix of several words
  (cd "${entry_path:-$WORK/game}" &&
    exec env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE -u XDG_CONFIG_HOME \
      HOME="$WORK/home" PATH=/usr/bin:/bin LC_ALL=C.UTF-8 \
      VK_ICD_FILENAMES=/nonexistent/none.json "$@" $RUN_AS "${entry_exec[@]}") &
  APP_PID=$!
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
launch
press Return
wait_for_exit || fail "exit status $? on first use"
[ "$(mode_of "$own")" = "700 $player" ] || fail "$own: $(mode_of "$own")"
expect_bytes "$own/config.ini" "$first_run"

# The player's own values are shown: OK writes them back as they are. A
# relative XDG_CONFIG_HOME is ignored (else the entry would fail in the game's
# folder).
players_file='[display]
drivertype=1
width=1024
height=768
colorbits=16
depthbits=16
fullscreen=1
sync=0

[misc]
xmusic=1
xsnd=1
motionblur=0
scursor=1

[player]
name=a b
'
crlf "$players_file" >"$own/config.ini"
launch XDG_CONFIG_HOME=xdg
press Return
wait_for_exit || fail "exit status $? with the player's file"
expect_bytes "$own/config.ini" "$players_file"

# With XDG_CONFIG_HOME the folder is made there.
launch XDG_CONFIG_HOME="$WORK/xdg"
press Return
wait_for_exit || fail "exit status $? with XDG_CONFIG_HOME"
[ "$(mode_of "$WORK/xdg/$NAME")" = "700 $player" ] || fail "$WORK/xdg/$NAME: $(mode_of "$WORK/xdg/$NAME")"
expect_bytes "$WORK/xdg/$NAME/config.ini" "$first_run"

[ "$(game_state)" = "$game_before" ] || fail "the game's folder changed: $(game_state)"
echo "per-user folder: ok"
