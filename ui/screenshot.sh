#!/bin/sh
# Takes the README's pictures of the desktop program under Xvfb on the
# sample folder: the list with the detail panel, a scan in progress and the
# settings dialog, saved as docs/sondaro-*.png.
# Usage: ui/screenshot.sh [folder] [output folder]
set -eu
cd "$(dirname "$0")/.."
folder=$(realpath "${1:-samples}")
out=$(realpath -m "${2:-docs}")
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target sondaro-shots >/dev/null
# A 1366 x 768 screen: the default window must show every default column on it.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1366x768x24" build/ui/sondaro-shots "$folder" "$out"
