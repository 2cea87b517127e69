#!/usr/bin/env bash
# Renders the Linux dialogs for docs/linux.md on Qt's offscreen platform:
# docs/linux-settings-zh_CN.png, docs/linux-settings-zh_TW.png, docs/linux-about.png.
#   scripts/screenshots-qt.sh <build-dir>
set -euo pipefail
build=$(cd "${1:?usage: $0 <build-dir>}" && pwd)
docs=$(cd "$(dirname "$0")/.." && pwd)/docs
tool=$build/bin/qt_dialog_screenshot
# shellcheck source=scripts/xvfb.sh
. "$(dirname "$0")/xvfb.sh"
mkdir -p "$docs"

export QT_QPA_PLATFORM=offscreen
cd "$WORK"  # the dialog makes its config.ini here
for locale in zh_CN zh_TW; do
  rm -f config.ini
  "$tool" settings "$locale.UTF-8" "$docs/linux-settings-$locale.png"
done
"$tool" about "$docs/linux-about.png"
ls -l "$docs"/linux-*.png
