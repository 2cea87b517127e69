#!/usr/bin/env bash
# The executable is a 32-bit GUI program that imports only Windows' own DLLs.
set -euo pipefail
headers=$(i686-w64-mingw32-objdump -p "$1")
fail() { echo "FAIL: $*"; exit 1; }
grep -q 'Magic[[:space:]]*010b[[:space:]]*(PE32)' <<<"$headers" || fail "not PE32"
grep -q 'Subsystem[[:space:]]*00000002[[:space:]]*(Windows GUI)' <<<"$headers" || fail "not a GUI program"
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
for dll in $dlls; do
  case $dll in
    kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll | advapi32.dll) ;;
    *) fail "imports $dll" ;;
  esac
done
echo "imports: $(echo $dlls)"
echo "size: $(stat -c %s "$1") bytes"
