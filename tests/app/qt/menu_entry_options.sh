#!/usr/bin/env bash
# The menu entry as a packager's configure writes it: a relative
# ZARV_GAME_DIR is refused, ZARV_MENU_NAME names the entry (and, unless they
# are given, its Chinese names), and Exec names the program under the prefix,
# quoted when the path needs it. $1 is the source folder.
set -euo pipefail
SOURCE=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
configure() {
  rm -rf "$WORK/build"
  cmake -S "$SOURCE" -B "$WORK/build" -G Ninja -DZARV_BUILD_TESTS=OFF -DZARV_BUILD_BENCH=OFF \
    "$@" >"$WORK/log" 2>&1
}

if configure -DZARV_GAME_DIR=relative/dir; then
  fail "a relative ZARV_GAME_DIR was taken: $(grep -h '^Path=' "$WORK/build/app/qt/zarv_settings.desktop")"
fi
grep -qF "ZARV_GAME_DIR must be an absolute path: relative/dir" "$WORK/log" ||
  fail "no message naming ZARV_GAME_DIR: $(cat "$WORK/log")"

configure "-DCMAKE_INSTALL_PREFIX=/opt/zarv game" "-DZARV_GAME_DIR=/opt/zarv game/data" \
  "-DZARV_MENU_NAME=Foo Settings" "-DZARV_MENU_NAME_ZH_TW=甲乙設定" || fail "$(cat "$WORK/log")"
entry=$(grep -E '^(Name|Exec|Path)' "$WORK/build/app/qt/zarv_settings.desktop")
expected='Name=Foo Settings
Name[zh_CN]=Foo Settings
Name[zh_TW]=甲乙設定
Exec="/opt/zarv game/games/zarv_settings"
Path=/opt/zarv game/data'
[ "$entry" = "$expected" ] || fail "the entry: $entry"
echo "menu entry options: ok"
