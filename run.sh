#!/bin/sh
# Installs what is missing, builds Sondaro and runs it on a folder, file or
# playlist (default: the bundled sample folder). With a display the desktop
# program opens; without one, or with --cli, the command-line tool prints
# the list.
set -eu
cli=0
if [ "${1:-}" = "--cli" ]; then cli=1; shift; fi
here=$(cd "$(dirname "$0")" && pwd)
target=$(realpath "${1:-$here/samples}")
cd "$here"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target sondaro-cli
if [ "$cli" -eq 0 ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && cmake --build build --target sondaro >/dev/null 2>&1 \
        && [ -x build/ui/sondaro ]; then
    exec build/ui/sondaro "$target"
fi
exec build/cli/sondaro-cli "$target"
