#!/usr/bin/env bash
# The import check itself fails on what objdump's import list does not show:
# a delay-loaded function XP lacks (PROBE.exe delay-loads one) and a bound
# import table (a copy of PROGRAM.exe given one in its data directory).
#   imports_check_test.sh PROBE.exe PROGRAM.exe
set -euo pipefail
check=$(dirname "$0")/imports_test.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect_failure PROGRAM LINE: the check fails on PROGRAM, saying LINE.
expect_failure() {
  local output status=0
  output=$("$check" "$1") || status=$?
  if [ "$status" -eq 0 ] || ! grep -qxF "$2" <<<"$output"; then
    echo "FAIL: the check on $1 did not say \"$2\" and fail; it said:"
    echo "$output"
    failures=$((failures + 1))
  fi
}

expect_failure "$1" "FAIL: delay-loads user32.dll:SetProcessDPIAware, which is not known to exist on XP"

# Data directory entry 11 of the PE32 optional header, 24 bytes after the
# "PE" signature: the bound import table's address and size.
cp "$2" "$work/bound.exe"
pe=$(od -An -t u4 -j 60 -N 4 "$2" | tr -d ' ')
printf '\x00\x02\x00\x00\x20\x00\x00\x00' |
  dd of="$work/bound.exe" bs=1 seek=$((pe + 24 + 96 + 11 * 8)) conv=notrunc status=none
expect_failure "$work/bound.exe" "FAIL: has a bound import table"

[ "$failures" -eq 0 ] && echo "ok: the check fails on delay-loaded and bound imports"
