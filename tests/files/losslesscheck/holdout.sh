#!/bin/sh
# A second labelled set, made after the check was tuned on evaluate.sh's, to
# see that its rules hold on material they were not chosen on: eight other
# General MIDI pieces (10 s, 44.1 and 48 kHz) kept genuine and sent through
# LAME -V 0 and -b 320, oggenc -q 6 and FFmpeg's AAC at 256k; and genuine
# files made by other resamplers (FFmpeg's, sox's default and steep ones,
# soxr) from 96 kHz renders and from a 44.1 kHz piece to 48 kHz, noise bursts,
# 24-bit pink noise, violet noise and a quiet piece.
#   tests/files/losslesscheck/holdout.sh [build/cli/sondaro-cli]
# SET_DIR=DIR keeps the set in DIR. Needs what evaluate.sh needs.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../../../build/cli/sondaro-cli}
if [ -n "${SET_DIR:-}" ]; then
    dir=$SET_DIR
else
    dir=$(mktemp -d)
    trap 'rm -rf "$dir"' EXIT
fi
out="$dir/holdout"; t="$dir/holdout-tmp"
mkdir -p "$out" "$t"
sf=/usr/share/sounds/sf2/FluidR3_GM.sf2
have() { [ -s "$1" ]; }
render() {   # render SEED RATE OUT.wav SECONDS
    python3 "$here/make-midi.py" "$t/p.mid" "$1" "$4"
    fluidsynth -ni -q -r "$2" -F "$t/raw.wav" "$sf" "$t/p.mid" >/dev/null 2>&1
    sox "$t/raw.wav" -b 16 "$3" trim 0 "$4"
}
back() { ffmpeg -v error -y -i "$1" -ar "$2" -sample_fmt s16 -c:a flac "$3"; }
for seed in 21 22 23 24 25 26 27 28; do
    rate=44100; [ $((seed % 2)) -eq 0 ] && rate=48000
    name=m${seed}_$rate
    have "$out/aac256__$name.flac" && continue
    render $seed $rate "$t/s.wav" 10
    flac -s -f "$t/s.wav" -o "$out/genuine__$name.flac"
    lame --silent -V 0 "$t/s.wav" "$t/a.mp3" && back "$t/a.mp3" $rate "$out/mp3V0__$name.flac"
    lame --silent -b 320 "$t/s.wav" "$t/a.mp3" && back "$t/a.mp3" $rate "$out/mp3b320__$name.flac"
    oggenc -Q -q 6 "$t/s.wav" -o "$t/a.ogg" && back "$t/a.ogg" $rate "$out/vorbisq6__$name.flac"
    ffmpeg -v error -y -i "$t/s.wav" -c:a aac -b:a 256k "$t/a.m4a" && back "$t/a.m4a" $rate "$out/aac256__$name.flac"
done
for seed in 31 32; do
    have "$out/genuine__soxr${seed}_44100.flac" && continue
    render $seed 96000 "$t/h.wav" 8
    ffmpeg -v error -y -i "$t/h.wav" -ar 44100 -sample_fmt s16 -c:a flac "$out/genuine__swr${seed}_44100.flac"
    ffmpeg -v error -y -i "$t/h.wav" -ar 48000 -sample_fmt s16 -c:a flac "$out/genuine__swr${seed}_48000.flac"
    sox "$t/h.wav" -b 16 "$out/genuine__soxh${seed}_44100.flac" rate 44100
    sox "$t/h.wav" -b 16 "$out/genuine__soxv${seed}_48000.flac" rate -v 48000
    ffmpeg -v error -y -i "$t/h.wav" -af aresample=resampler=soxr:precision=28 -ar 44100 -sample_fmt s16 -c:a flac \
        "$out/genuine__soxr${seed}_44100.flac"
done
if ! have "$out/genuine__cd2sox_48000.flac"; then
    render 33 44100 "$t/c.wav" 8
    ffmpeg -v error -y -i "$t/c.wav" -ar 48000 -sample_fmt s16 -c:a flac "$out/genuine__cd2swr_48000.flac"
    sox "$t/c.wav" -b 16 "$out/genuine__cd2sox_48000.flac" rate -v 48000
fi
have "$out/genuine__bursts_44100.flac" ||
    sox -n -r 44100 -c 2 -b 16 "$out/genuine__bursts_44100.flac" synth 8 whitenoise vol 0.3 tremolo 0.5 100 2>/dev/null
have "$out/genuine__noise24_48000.flac" ||
    sox -n -r 48000 -c 2 -b 24 "$out/genuine__noise24_48000.flac" synth 8 pinknoise vol 0.5 2>/dev/null
if ! have "$out/genuine__quiet34_44100.flac"; then
    render 34 44100 "$t/q.wav" 8
    sox "$t/q.wav" "$out/genuine__quiet34_44100.flac" vol 0.1
fi
have "$out/genuine__violet_44100.flac" ||
    ffmpeg -v error -y -f lavfi -i "anoisesrc=c=violet:a=0.1:d=8:r=44100:seed=5" -ac 2 -sample_fmt s16 \
        "$out/genuine__violet_44100.flac"

"$cli" --check -f json "$out" > "$dir/holdout.json" || true
python3 - "$dir/holdout.json" <<'PY'
import json, sys, collections
rows = collections.OrderedDict()
for f in sorted(json.load(open(sys.argv[1]))["files"], key=lambda f: f["FileName"]):
    label = f["FileName"].split("__")[0]
    check = f.get("losslessCheck", {})
    verdict = check.get("verdict", "not checked")
    hit = verdict == ("full band" if label == "genuine" else "lossy origin")
    r = rows.setdefault(label, [0, 0, 0])
    r[0] += 1; r[1] += hit
    r[2] += bool(check.get("frameGrid", {}).get("codec", ""))
    if not hit: print("not as expected: %s: %s" % (f["FileName"], check.get("text", "")))
for label, (n, hit, grids) in rows.items():
    print("%-10s %2d of %2d as expected, frame grid found in %d" % (label, hit, n, grids))
PY
