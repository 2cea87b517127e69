#!/usr/bin/env bash
# Runs a Windows program under Wine as the tests need it:
#   wine-run.sh BUILD/bin/PROGRAM.exe [ARGS...]
#   wine-run.sh --prepare BUILD      (only makes the prefix; the build does it)
#   wine-run.sh --env BUILD COMMAND [ARGS...]
#                     runs COMMAND (which starts Wine itself) in that setting
# The program runs in a copy of a Wine prefix of the build's own (made once
# per build dir, with the CJK font and res/wine-tests.reg) and, unless
# ZARV_USE_DISPLAY is set, on a private Xvfb server.
# Environment:
#   ZARV_SCREEN       screen of the private Xvfb (default 1024x768x24)
#   ZARV_USE_DISPLAY  run on $DISPLAY instead of a private Xvfb
#   ZARV_DPI          the screen's dots per inch in Wine's settings (default 96)
#   WINEDLLOVERRIDES  passed to Wine
#   LANG              the program's locale (LC_* and LANGUAGE are cleared)
#   ZARV_WINEDEBUG    Wine's debug channels (default -all)
#   ZARV_PREFIX_LISTING  file that gets the paths of every config.ini in the
#                     prefix's drive C once the program has ended
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/xvfb.sh
. "$root/scripts/xvfb.sh"
font=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
# 64-bit Wine runs the prefix's services natively; 32-bit programs still get
# the 32-bit loader.
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine

# A .reg file is UTF-8 in the tree; regedit reads UTF-16 with a BOM.
import_reg() {
  local utf16=$WORK/import.reg
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$1"; } >"$utf16"
  WINEPREFIX=$2 "$wine64" regedit /S "Z:${utf16//\//\\}" >/dev/null 2>&1
}

# Where the kernel runs no 32-bit code, qemu runs 32-bit Wine (scripts/setup.sh
# registers it). qemu (7.2) ignores MAP_FIXED_NOREPLACE, so Wine's start-up
# tries to reserve the 32-bit address space 64 KiB at a time, about a minute
# per process; a guest address space that ends just above Wine's shared user
# data page (0x7ffe0000) leaves little to try. Native runs ignore the variable.
export QEMU_RESERVED_VA=0x84000000
check_i386() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return
  echo "wine-run: this kernel runs no 32-bit programs, and qemu-i386 is not registered for them: run scripts/setup.sh test" >&2
  exit 1
}

make_base_prefix() {
  local base=$1
  rm -rf "$base" "$base.new"
  mkdir -p "$base.new"
  WINEPREFIX=$base.new "$wine64" wineboot -i >/dev/null 2>&1
  ln -sf "$font" "$base.new/drive_c/windows/Fonts/"
  import_reg "$root/res/wine-tests.reg" "$base.new"
  WINEPREFIX=$base.new wineserver -w
  mv "$base.new" "$base"
}

# set_dpi DPI: the run prefix's LogPixels, written into its registry file
# before any Wine process reads it.
set_dpi() {
  sed -i 's/^\[Control Panel\\\\Desktop\] .*/&\n"LogPixels"='"$(printf 'dword:%08x' "$1")"'/' \
    "$run_prefix/user.reg"
}

main() {
  local program build
  if [ "$1" = --prepare ] || [ "$1" = --env ]; then
    program=${1#--prepare}
    build=$(cd "$2" && pwd)
    shift 2
  else
    program=$1
    shift
    build=$(cd "$(dirname "$program")/.." && pwd)  # programs live in BUILD/bin
  fi
  local wine_dir=$build/wine
  local base=$wine_dir/base
  export WINEDEBUG=${ZARV_WINEDEBUG:--all}
  # The program's locale is LANG's alone: a caller's LC_* or LANGUAGE would
  # override the one a test names, and Wine takes its code page and user
  # language from them.
  unset LC_ALL LC_CTYPE LC_MESSAGES LC_COLLATE LC_NUMERIC LC_TIME LC_MONETARY LANGUAGE
  # The prefix is the script's own; a caller's Wine choices do not apply.
  unset WINEARCH WINELOADER WINESERVER WINEDLLPATH
  # No .NET or HTML engine installs; a caller's overrides come after.
  export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

  mkdir -p "$wine_dir"
  (
    # Making the prefix takes minutes under qemu; a lock held longer is stuck.
    flock -w 900 9 || { echo "wine-run: $wine_dir/lock held for 15 minutes" >&2; exit 1; }
    check_i386
    [ -d "$base" ] || make_base_prefix "$base"
  ) 9>"$wine_dir/lock"
  [ -n "$program" ] || return 0

  # Each run gets its own prefix, and so its own wineserver and display
  # settings: hard links to the base, real copies of the registry files.
  run_prefix=$(mktemp -d "$wine_dir/run.XXXXXX")
  at_exit rm -rf "$run_prefix"
  at_exit env WINEPREFIX="$run_prefix" wineserver -k
  cp -al "$base/." "$run_prefix/"
  cp --remove-destination "$base"/*.reg "$run_prefix/"
  [ -z "${ZARV_DPI:-}" ] || set_dpi "$ZARV_DPI"
  export WINEPREFIX=$run_prefix
  [ -n "${ZARV_USE_DISPLAY:-}" ] || start_xvfb "${ZARV_SCREEN:-1024x768x24}"

  local status=0
  if [ "$program" = --env ]; then
    "$@" || status=$?
  else
    wine "$program" "$@" || status=$?
  fi
  if [ -n "${ZARV_PREFIX_LISTING:-}" ]; then
    find "$run_prefix/drive_c" -iname config.ini >"$ZARV_PREFIX_LISTING"
  fi
  return $status
}

# The whole script is read before it runs, so editing it cannot disturb runs.
main "$@"
exit $?
