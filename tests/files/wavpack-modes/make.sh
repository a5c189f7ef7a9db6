#!/bin/sh
# A labelled set of WavPack files, one per encoder mode: -f, the default, -h
# and -hh, each alone and with -x1 to -x6, and the hybrid mode (-b3) with each
# of them, alone and with -x2. labels.tsv lists for every file the options,
# the Encoder Info the analyser is to show, and the "modalities" line of
# Debian's `wvunpack -s` for the same file (the test checks that both agree).
# Needs sox and wavpack.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
rm -f ./*.wv

# 0.3 s of a tone at 8 kHz, mono: every file stays near 2 KB.
sox -D -n -r 8000 -b 16 -c 1 "$tmp/tone.wav" synth 0.3 sine 440 vol 0.3

printf 'file\toptions\tencoder info\twvunpack modalities\n' > labels.tsv
encode() {   # name, options, expected Encoder Info
    # shellcheck disable=SC2086
    wavpack -q -y $2 "$tmp/tone.wav" -o "$1.wv"
    modalities=$(wvunpack -s "$1.wv" 2>&1 | sed -n 's/^modalities: *//p')
    printf '%s.wv\t%s\t%s\t%s\n' "$1" "$2" "$3" "$modalities" >> labels.tsv
}

for mode in f normal h hh; do
    case $mode in
    f) option=-f; text=fast ;;
    normal) option=; text=normal ;;
    h) option=-h; text=high ;;
    hh) option=-hh; text="very high" ;;
    esac
    encode "lossless-$mode" "$option" "WavPack4 lossless $text"
    for x in 1 2 3 4 5 6; do
        encode "lossless-$mode-x$x" "$option -x$x" "WavPack4 lossless $text, extra"
    done
    encode "hybrid-$mode" "$option -b3" "WavPack4 hybrid lossy $text"
    encode "hybrid-$mode-x2" "$option -b3 -x2" "WavPack4 hybrid lossy $text, extra"
done
