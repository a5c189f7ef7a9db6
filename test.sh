#!/bin/sh
# Builds and runs every test of Sondaro:
#   1. the test suite (unit, file and desktop tests) in a normal build;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. every fuzz target for a few seconds on its seed corpus;
#   4. the Debian package of the first build, installed with apt in a clean
#      Debian 12 root (scripts/test-deb.sh; skipped, saying why, where no
#      root can be made; about two minutes, five the first time).
# ./test.sh --quick runs step 1 only, ./test.sh --fuzz step 3 only.
# FUZZ_SECONDS sets the time per target; scripts/fuzz-long.sh runs longer.
set -eu
cd "$(dirname "$0")"
./scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

if [ "${1:-}" != "--fuzz" ]; then
    echo "== Test suite"
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONDARO_BENCH=ON >/dev/null
    cmake --build build -j "$jobs"
    # Benchmarks (label "bench") measure, they do not pass or fail: run them by
    # hand with ctest -L bench.
    ctest --test-dir build --output-on-failure -j "$jobs" -LE bench
    [ "${1:-}" = "--quick" ] && exit 0

    echo "== Test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONDARO_SANITIZE=ON -DSONDARO_UI=OFF >/dev/null
    cmake --build build-asan -j "$jobs"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure -j "$jobs"
fi

echo "== Fuzz targets (${FUZZ_SECONDS:-8} s each)"
. scripts/fuzz-lib.sh
fuzz_build
for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=${target##*/fuzz_}
    work=$(mktemp -d)
    echo "-- $name"
    # Every sanitizer finding is fatal in this build, so a finding fails the run.
    # shellcheck disable=SC2046
    if ! "$target" -max_total_time="${FUZZ_SECONDS:-8}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
            -artifact_prefix="$work/" "$work" $(fuzz_seeds "$name") >"$work.log" 2>&1; then
        tail -n 60 "$work.log"
        echo "fuzz target $name failed; reproducer kept in tests/files/regressions ($(fuzz_keep_findings "$name" "$work") file)"
        exit 1
    fi
    rm -rf "$work" "$work.log"
done
if [ "${1:-}" != "--fuzz" ]; then
    echo "== Debian package in a clean Debian 12 root"
    SONDARO_DEB_BUILD=build ./scripts/test-deb.sh
fi
echo "== All tests passed"
