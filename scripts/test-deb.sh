#!/bin/sh
# Builds the Debian package with CPack and installs it with apt into a clean
# Debian 12 root made by debootstrap, then runs sondaro-cli there: its
# version, the bundled sample folder and the lossless check (its module).
# The log goes to build-deb/test-deb.log.
#
# It skips (exit status 0, with a message saying why) where a root cannot be
# made: not run as root, debootstrap or chroot missing or not permitted, or
# no Debian mirror reachable. A failed build, install or run exits 1.
#
# The freshly bootstrapped root is kept as a tarball (SONDARO_DEB_ROOT_CACHE,
# default ~/.cache/sondaro/debian12-minbase.tar) so later runs skip the
# download; every run unpacks it into a new folder, so the root is clean.
# SONDARO_DEB_MIRROR sets the mirror (default http://deb.debian.org/debian).
# SONDARO_DEB_BUILD names a build folder that is already configured (test.sh
# passes its own): it is built and packaged as it is. Without it the package
# is built in build-deb as a Release build.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${SONDARO_DEB_BUILD:-}
configure=0
[ -n "$build" ] || { build=$here/build-deb; configure=1; }
mirror=${SONDARO_DEB_MIRROR:-http://deb.debian.org/debian}
cache=${SONDARO_DEB_ROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/sondaro/debian12-minbase.tar}
skip() {
    echo "test-deb: SKIPPED: $*"
    exit 0
}
fail() {
    echo "test-deb: FAILED: $*"
    exit 1
}

[ "$(id -u)" -eq 0 ] || skip "making a Debian root needs root (run it as root or with sudo)"
command -v debootstrap >/dev/null 2>&1 || skip "debootstrap is not installed (apt-get install debootstrap)"
command -v chroot >/dev/null 2>&1 || skip "chroot is not available"

mkdir -p "$build"
log=$build/test-deb.log
: >"$log"
say() { echo "test-deb: $*" | tee -a "$log"; }

# 1. The package.
say "building the package in $build"
if [ "$configure" -eq 1 ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONDARO_TESTS=OFF >>"$log" 2>&1 ||
        fail "configure failed (see $log)"
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >>"$log" 2>&1 || fail "build failed (see $log)"
rm -f "$build"/sondaro_*.deb
(cd "$build" && cpack -G DEB) >>"$log" 2>&1 || fail "cpack failed (see $log)"
deb=$(ls "$build"/sondaro_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"
say "package $(basename "$deb")"
dpkg-deb --field "$deb" Depends | tee -a "$log"

# 2. A clean Debian 12 root.
root=$(mktemp -d /var/tmp/sondaro-deb-root.XXXXXX)
mounted=""
cleanup() {
    [ -n "$mounted" ] && umount "$root/proc" 2>/dev/null
    rm -rf "$root"
}
trap cleanup EXIT INT TERM
if [ -s "$cache" ]; then
    say "unpacking the cached Debian 12 root $cache"
    tar -xf "$cache" -C "$root"
else
    say "bootstrapping Debian 12 (minbase) from $mirror"
    debootstrap --variant=minbase bookworm "$root" "$mirror" >>"$log" 2>&1 ||
        skip "debootstrap could not make a Debian 12 root (is $mirror reachable?); see $log"
    mkdir -p "$(dirname "$cache")"
    tar -cf "$cache" -C "$root" . || rm -f "$cache"
fi
chroot "$root" /bin/true 2>/dev/null || skip "chroot into the new root is not permitted here"
mount -t proc proc "$root/proc" 2>/dev/null && mounted=1
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cat >"$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES

# 3. apt installs the package and what it depends on.
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
say "apt-get update"
in_root apt-get update >>"$log" 2>&1 || skip "apt-get update failed in the root (no mirror reachable?); see $log"
say "apt-get install ./$(basename "$deb")"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")" \
    >"$build/apt-install.log" 2>&1 || { cat "$build/apt-install.log" >>"$log"; fail "apt-get install failed (see $log)"; }
cat "$build/apt-install.log" >>"$log"
grep -E '^(Setting up sondaro|Unpacking sondaro|[0-9]+ upgraded)' "$build/apt-install.log" | tee -a "$log"

# 4. The installed programs there.
say "dpkg -L sondaro (programs, desktop files, man pages, completions)"
in_root dpkg -L sondaro | grep -E 'bin/|sondaro-check|\.desktop|\.svg|metainfo|man1|completions' | tee -a "$log"
if in_root sh -c 'ldd /usr/bin/sondaro-cli /usr/bin/sondaro /usr/lib/*/sondaro/*.so /usr/lib/sondaro/*.so 2>/dev/null | grep "not found"' | tee -a "$log" | grep -q .; then
    fail "a shared library of the installed programs is missing in the root"
fi
say "sondaro-cli --version"
in_root sondaro-cli --version >"$build/run.out" 2>&1 || { cat "$build/run.out"; fail "sondaro-cli --version failed"; }
tee -a "$log" <"$build/run.out"
mkdir -p "$root/tmp/samples"
cp "$here"/samples/*.* "$root/tmp/samples/"
rm -f "$root/tmp/samples/make.sh"
say "sondaro-cli /tmp/samples"
status=0
in_root sondaro-cli /tmp/samples >"$build/run.out" 2>&1 || status=$?
tee -a "$log" <"$build/run.out"
[ "$status" -eq 0 ] || fail "sondaro-cli on the sample folder exited with $status"
# The lossless check, loaded from its module, on a small file.
if in_root dpkg -L sondaro | grep -q '/sondaro-check\.so$'; then
    cp "$here/tests/files/losslesscheck/mp3-128.flac" "$root/tmp/"
    say "sondaro-cli --check /tmp/mp3-128.flac"
    status=0
    in_root sondaro-cli --check -c 'File Name,Lossless Check' /tmp/mp3-128.flac >"$build/run.out" 2>&1 || status=$?
    tee -a "$log" <"$build/run.out"
    [ "$status" -eq 0 ] || fail "sondaro-cli --check exited with $status"
    grep -q 'mp3-128.flac  Lossy origin likely' "$build/run.out" || fail "sondaro-cli --check gave no verdict"
else
    say "the package has no lossless check module (built without FFmpeg or FFTW)"
fi
say "passed"
