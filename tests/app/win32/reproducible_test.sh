#!/usr/bin/env bash
# The same sources give the same zarv_settings.exe from another folder and at
# another time: a copy of the sources in a temporary folder is configured as
# the windows preset and only the program is built there; both must be equal.
#   reproducible_test.sh SOURCE-DIR PROGRAM.exe
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
(cd "$1" && cp -r CMakeLists.txt cmake config probe settings app res scripts "$work/src/")
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/mingw-i686.cmake" -DZARV_BUILD_TESTS=OFF \
  -DZARV_WERROR=ON >/dev/null
cmake --build "$work/build" --target zarv_settings >/dev/null
if ! cmp "$2" "$work/build/bin/zarv_settings.exe"; then
  echo "FAIL: the program built in $work/build differs from $2"
  exit 1
fi
echo "ok: the same $(stat -c %s "$2") bytes from two folders"
