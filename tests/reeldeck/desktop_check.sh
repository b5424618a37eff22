#!/usr/bin/env bash
# reeldeck's desktop integration and its command-line help:
#   desktop_check.sh REELDECK SOURCE_DIR WORK_DIR SAMPLE
# - the .desktop entry is valid (desktop-file-validate, when installed);
# - the MIME package compiles and gives *.m4f and *.jpf our types;
# - `reeldeck --help` explains itself and `--version` prints the version, both without a display.
set -euo pipefail
reeldeck=$1 src=$2 work=$3 sample=$4
desktop=$src/app/gui/desktop
rm -rf "$work" && mkdir -p "$work/mime/packages"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop/reeldeck.desktop"
fi
grep -q '^MimeType=video/x-qxr-m4f;video/x-qxr-jpf;$' "$desktop/reeldeck.desktop"

cp "$desktop/reeldeck-mime.xml" "$work/mime/packages/reeldeck.xml"
update-mime-database "$work/mime" 2>/dev/null
grep -qx '50:video/x-qxr-m4f:\*.m4f' "$work/mime/globs2"
grep -qx '50:video/x-qxr-jpf:\*.jpf' "$work/mime/globs2"
# The magic tells a recording from a JPEG 2000 file of the same extension.
head -c 16 "$sample" | grep -q 'QXRFLIST'

help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$reeldeck" --help)
grep -q '^Usage: reeldeck \[FILE\]' <<<"$help"
grep -q 'hands it to the one already running' <<<"$help"
env -u DISPLAY -u WAYLAND_DISPLAY "$reeldeck" --version | grep -qE '^reeldeck [0-9]+\.[0-9]+\.[0-9]+$'
echo "desktop_check: ok"
