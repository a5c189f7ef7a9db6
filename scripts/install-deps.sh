#!/bin/sh
# Installs what building and testing Sondaro needs on Debian 12 or Ubuntu:
# the compilers, CMake and Ninja, GoogleTest, Google Benchmark, SQLite (the
# results cache) and Qt 6; for
# the packaging checks dpkg-dev and file (cpack's shlibdeps), appstream and
# desktop-file-utils (the validators), gio (runs the folder command's desktop
# entry in a test), bash-completion, zsh and fish (the completions) and
# debootstrap (scripts/test-deb.sh); FFmpeg's libraries and FFTW for the
# lossless-origin check.
set -eu
packages="cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev qt6-base-dev libgl-dev xvfb xauth
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libfftw3-dev
    dpkg-dev file appstream desktop-file-utils libglib2.0-bin bash-completion zsh fish debootstrap"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# Debian 12 names clang's runtime package after its version; elsewhere it may differ.
[ -z "$missing" ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# libclang-rt-14-dev exists on Debian 12; on releases without it clang's own runtime comes with clang.
if ! apt-cache show libclang-rt-14-dev >/dev/null 2>&1; then
    missing=$(echo "$missing" | sed 's/libclang-rt-14-dev//')
fi
$sudo apt-get install -y -q --no-install-recommends $missing
