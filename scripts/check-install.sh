#!/bin/sh
# Installs the build folder $1 into the staging folder $2 with
# "cmake --install" and checks that every file a desktop and a package need
# is there. The desktop program is checked when the build made it.
set -eu
build=$1
stage=$2
rm -rf "$stage"
cmake --install "$build" --prefix "$stage/usr" >/dev/null
status=0
need() {
    if [ ! -s "$stage/usr/$1" ]; then
        echo "missing after install: /usr/$1"
        status=1
    fi
}
need bin/sondaro-cli
[ -x "$build/ui/sondaro" ] && need bin/sondaro
need share/applications/org.sondaro.Sondaro.desktop
need share/icons/hicolor/scalable/apps/sondaro.svg
need share/metainfo/org.sondaro.Sondaro.metainfo.xml
need share/man/man1/sondaro.1
need share/man/man1/sondaro-cli.1
need share/bash-completion/completions/sondaro-cli
need share/zsh/vendor-completions/_sondaro-cli
need share/fish/vendor_completions.d/sondaro-cli.fish
# The installed programs run from their new place.
"$stage/usr/bin/sondaro-cli" --version >/dev/null || { echo "installed sondaro-cli does not run"; status=1; }
# The lossless check is a module the installed program finds relative to its
# own folder (the staged tree is not where the build meant to install it).
if [ -e "$build/cli/sondaro-check.so" ]; then
    module=$(find "$stage/usr" -name sondaro-check.so | head -n 1)
    [ -n "$module" ] || { echo "missing after install: the module sondaro-check.so"; status=1; }
    if ldd "$stage/usr/bin/sondaro-cli" | grep -E 'libav|fftw'; then
        echo "installed sondaro-cli links the check's libraries itself"
        status=1
    fi
    here=$(cd "$(dirname "$0")/.." && pwd)
    if ! "$stage/usr/bin/sondaro-cli" --check -c 'File Name,Lossless Check' \
            "$here/tests/files/losslesscheck/mp3-128.flac" | grep -q 'mp3-128.flac  Lossy origin likely'; then
        echo "installed sondaro-cli --check does not check"
        status=1
    fi
fi
if [ -x "$build/cli/sondaro-spectrogram" ]; then
    need bin/sondaro-spectrogram
fi
# The version was filled into the man pages and the metainfo.
if grep -q '@PROJECT_VERSION@' "$stage/usr/share/man/man1/sondaro-cli.1" \
        "$stage/usr/share/metainfo/org.sondaro.Sondaro.metainfo.xml"; then
    echo "version placeholder left in an installed file"
    status=1
fi
[ "$status" -eq 0 ] && echo "install layout complete"
exit "$status"
