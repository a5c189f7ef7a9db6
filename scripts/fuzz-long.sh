#!/bin/sh
# Runs every fuzz target for MINUTES minutes each (default 10) and prints one
# summary line per target: executions, coverage and findings.
#   scripts/fuzz-long.sh [MINUTES]
# FUZZ_JOBS=N runs N targets at a time (default 1). The corpus each target
# grows is kept in build-fuzz/corpus/<target>, so later runs go on from it.
# A finding (crash, leak, timeout, out-of-memory) is copied into
# tests/files/regressions, where the test suite runs it from then on; the
# script then exits 1.
set -eu
cd "$(dirname "$0")/.."
minutes=${1:-10}
case $minutes in '' | *[!0-9]*) echo "usage: $0 [MINUTES]" >&2; exit 2 ;; esac
jobs=$(nproc 2>/dev/null || echo 2)
. scripts/fuzz-lib.sh
fuzz_build

logs=build-fuzz/fuzz-long
rm -rf "$logs"
mkdir -p "$logs"

run_target() {
    name=$1
    corpus=build-fuzz/corpus/$name
    artifacts=$logs/$name-artifacts
    mkdir -p "$corpus" "$artifacts"
    # A target stops at its first finding, which is saved in $artifacts.
    # shellcheck disable=SC2046
    "build-fuzz/fuzz/fuzz_$name" -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$corpus" $(fuzz_seeds "$name") >"$logs/$name.log" 2>&1 || true
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.log" | tail -n 1)
    cov=$(grep -o 'cov: [0-9]*' "$logs/$name.log" | tail -n 1 | cut -d' ' -f2)
    ft=$(grep -o 'ft: [0-9]*' "$logs/$name.log" | tail -n 1 | cut -d' ' -f2)
    found=$(fuzz_keep_findings "$name" "$artifacts")
    printf '%-10s executions %10s  coverage %5s edges %6s features  corpus %5s  findings %s\n' \
        "$name" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$(ls "$corpus" | wc -l)" "$found" >"$logs/$name.summary"
    cat "$logs/$name.summary"
}

targets=$(for t in build-fuzz/fuzz/fuzz_*; do [ -x "$t" ] && echo "${t##*/fuzz_}"; done)
echo "== $(echo "$targets" | wc -l) fuzz targets, $minutes min each, ${FUZZ_JOBS:-1} at a time"
running=0
for name in $targets; do
    run_target "$name" &
    running=$((running + 1))
    if [ "$running" -ge "${FUZZ_JOBS:-1}" ]; then
        wait
        running=0
    fi
done
wait

total=0
for name in $targets; do
    n=$(awk '{print $NF}' "$logs/$name.summary")
    total=$((total + n))
done
echo "== findings: $total (logs in $logs)"
[ "$total" -eq 0 ]
