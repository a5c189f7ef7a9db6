#!/bin/sh
# Proves that the Qt-free part of Sondaro (the analysis core and sondaro-cli)
# builds for 64-bit Windows: cross-compiles it with MinGW-w64 and fails on any
# compiler warning.
#   scripts/check-windows-build.sh [build folder]     (default: build-windows)
# Needs: apt-get install -y g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
#
# When Wine is installed (apt-get install -y wine64) and SONDARO_WINE is not
# 0, sondaro-cli.exe then analyses samples/ under Wine and its rows are
# compared with those of a Linux sondaro-cli (built in build-linux-cli). Wine
# lists a folder in the Linux file system's raw order, which the Windows build
# keeps, so both outputs are sorted before they are compared.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-windows}

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
    echo "check-windows-build: x86_64-w64-mingw32-g++-posix not found" \
         "(apt-get install -y g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)" >&2
    exit 2
fi

echo "== Windows cross build in $build"
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="-Werror" \
    -DSONDARO_TESTS=OFF -DSONDARO_UI=OFF >/dev/null
status=0
cmake --build "$build" --clean-first -j 2 --target sondaro_settings sondaro-cli >"$build/build.log" 2>&1 || status=$?
cat "$build/build.log"
if [ "$status" != 0 ]; then
    echo "check-windows-build: the build failed" >&2
    exit 1
fi
if grep -q "warning:" "$build/build.log"; then
    echo "check-windows-build: the build gave warnings" >&2
    exit 1
fi
exe="$build/cli/sondaro-cli.exe"
[ -f "$exe" ] || { echo "check-windows-build: $exe was not built" >&2; exit 1; }
file "$exe" 2>/dev/null | grep -q "PE32+" || { echo "check-windows-build: $exe is no 64-bit Windows program" >&2; exit 1; }
echo "== Built $exe"

# Smoke test under Wine.
wine=$(command -v wine64 || command -v wine || ls /usr/lib/wine/wine64 2>/dev/null || true)
if [ "${SONDARO_WINE:-1}" = 0 ] || [ -z "$wine" ]; then
    echo "== Wine not used; done"
    exit 0
fi
echo "== sondaro-cli.exe on samples/ under Wine"
cmake -S . -B build-linux-cli -G Ninja -DSONDARO_TESTS=OFF -DSONDARO_UI=OFF >/dev/null
cmake --build build-linux-cli -j 2 --target sondaro-cli >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# Z: is Wine's drive for the Linux root; "/" becomes "\" in the Windows paths.
windows_samples="Z:$(echo "$PWD/samples" | tr / '\\')"
for format in text tsv; do
    build-linux-cli/cli/sondaro-cli --format "$format" --columns all samples | sort > "$out/linux.$format"
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="${WINEPREFIX:-$out/prefix}" "$wine" "$exe" --format "$format" --columns all \
        "$windows_samples" 2>"$out/wine.err" > "$out/wine.raw" || {
        cat "$out/wine.err" >&2
        echo "check-windows-build: sondaro-cli.exe failed under Wine" >&2
        exit 1
    }
    tr -d '\r' < "$out/wine.raw" | sort > "$out/wine.$format"
    if ! diff -u "$out/linux.$format" "$out/wine.$format"; then
        echo "check-windows-build: Windows and Linux rows differ ($format)" >&2
        exit 1
    fi
    echo "   $format: $(wc -l < "$out/linux.$format") lines, same as on Linux"
done
echo "== Done"
