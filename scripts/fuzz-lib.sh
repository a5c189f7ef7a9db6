# Shared by test.sh and scripts/fuzz-long.sh (sourced, not run): the fuzz
# build, the seeds of each target, and keeping what a run finds.

# Builds every libFuzzer target into build-fuzz (clang, ASan + UBSan, every
# finding fatal).
fuzz_build() {
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSONDARO_FUZZ=ON -DSONDARO_TESTS=OFF -DSONDARO_UI=OFF >/dev/null
    cmake --build build-fuzz -j "${jobs:-2}"
}

# The seed folders of a target: its own corpus; the whole-analysis target
# also starts from every fixture file, the samples and the kept reproducers.
fuzz_seeds() {
    [ -d "fuzz/corpus/$1" ] && echo "fuzz/corpus/$1"
    if [ "$1" = analyse ]; then
        echo tests/files
        echo samples
    fi
}

# The extension a reproducer of a target is kept under in
# tests/files/regressions, which says how the test suite runs it: ".any"
# through every reader, ".playlist" through every playlist loader.
fuzz_extension() {
    case $1 in
    aac) echo .aac ;; ac3) echo .ac3 ;; aiff) echo .aiff ;; analyse) echo .any ;; dts) echo .dts ;;
    flac) echo .flac ;; lametag | mpeg | tags) echo .mp3 ;; monkey) echo .ape ;; mp4) echo .m4a ;;
    musepack) echo .mpc ;; oggvorbis) echo .ogg ;; optimfrog) echo .ofr ;; playlists) echo .playlist ;;
    speex) echo .spx ;; tta) echo .tta ;; twinvq) echo .vqf ;; wav) echo .wav ;; wavpack) echo .wv ;;
    wma) echo .wma ;; *) echo .any ;;
    esac
}

# Copies the reproducers libFuzzer left in folder $2 for target $1 into
# tests/files/regressions as <target>-<kind>-<hash><extension>; prints how
# many there were.
fuzz_keep_findings() {
    kept=0
    for artifact in "$2"/crash-* "$2"/leak-* "$2"/timeout-* "$2"/oom-* "$2"/slow-unit-*; do
        [ -f "$artifact" ] || continue
        base=${artifact##*/}
        kind=${base%%-*}
        hash=$(sha1sum "$artifact" | cut -c1-12)
        cp "$artifact" "tests/files/regressions/$1-$kind-$hash$(fuzz_extension "$1")"
        kept=$((kept + 1))
    done
    echo "$kept"
}
