#!/bin/sh
# Starts the desktop program under Xvfb on the sample folder and saves a
# screenshot of the window as docs/screenshot.png.
# Usage: ui/screenshot.sh [folder] [output.png]
set -eu
cd "$(dirname "$0")/.."
folder=$(realpath "${1:-samples}")
out=${2:-docs/screenshot.png}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target sondaro sondaro-grab >/dev/null

# A private home, so the run neither reads nor writes the user's settings;
# the program's own settings file beside it is kept out of the way as well.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/bin"
cp build/ui/sondaro "$home/bin/sondaro"

HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
xvfb-run -a -s "-screen 0 939x540x24" sh -c '
    "$1/bin/sondaro" "$2" &
    pid=$!
    sleep 4
    "$3" "$4"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
' sh "$home" "$folder" "$(pwd)/build/ui/sondaro-grab" "$(realpath -m "$out")"
echo "saved $out"
