#!/bin/sh
# The menu entry's command: starts zarv_settings in the folder whose
# config.ini the game reads. That is the game's folder, or, when the package
# names a folder of the player's own, $XDG_CONFIG_HOME/<name> (an absolute
# XDG_CONFIG_HOME; else ~/.config/<name>), made for the player alone on
# first use. The build fills in the values.
dir='@launch_game_dir@'
user_dir='@ZARV_USER_DIR@'
if [ -n "$user_dir" ]; then
  case ${XDG_CONFIG_HOME:-} in
  /*) dir=$XDG_CONFIG_HOME/$user_dir ;;
  *) dir=$HOME/.config/$user_dir ;;
  esac
  # shellcheck disable=SC2174  # the mode is for the player's folder alone
  mkdir -p -m 700 "$dir" || exit 1
fi
cd "$dir" || exit 1
exec '@launch_program@'
