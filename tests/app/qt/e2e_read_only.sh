#!/usr/bin/env bash
# A read-only config.ini in a writable folder: the dialog shows first-run
# values, neither the start nor OK changes the file, and nothing else is left.
source "$(dirname "$0")/e2e_lib.sh"
# root writes read-only files anyway: run the program as nobody.
if [ "$(id -u)" -eq 0 ]; then
    RUN_AS="setpriv --reuid=65534 --regid=65534 --clear-groups"
    su_test() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
    su_test test -x "$PROGRAM" || { echo "SKIP: nobody cannot run $PROGRAM"; exit 77; }
else
    su_test() { "$@"; }
fi
mkdir "$WORK/game"
printf '[display]\r\nwidth=1024\r\n' >"$WORK/game/config.ini"
chmod 444 "$WORK/game/config.ini"
[ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$WORK/game"
su_test test -w "$WORK/game" || fail "the folder is not writable for the program"

start_xvfb 1024x768x24
start_program "$WORK/game"
press Return
wait_for_exit || fail "exit status $?"
expect_bytes "$WORK/game/config.ini" "[display]
width=1024
"
[ "$(ls -A "$WORK/game")" = "config.ini" ] || fail "left behind: $(ls -A "$WORK/game")"
echo "read-only file: ok"
