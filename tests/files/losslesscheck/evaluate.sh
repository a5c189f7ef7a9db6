#!/bin/sh
# Measures the lossless check on a labelled set made here and prints the
# confusion table: per encoder setting, how many transcodes the check calls
# lossy; for the genuine files, how many it wrongly calls lossy.
#   tests/files/losslesscheck/evaluate.sh [build/cli/sondaro-cli]
# Genuine sources: General MIDI pieces (make-midi.py, fluidsynth with the
# FluidR3 soundfont), pink and white noise with transients (sox, ffmpeg's
# anoisesrc), and mixtures of both, at 44.1 and 48 kHz; white noise at 96 kHz.
# Each goes through lame (-b 128, -b 192, -V 2, -V 0, -b 320), ffmpeg's AAC
# (128k, 256k), oggenc (-q 3, -q 6) and opusenc (96k) and back to 16-bit
# FLAC at its own rate; the 44.1 kHz ones are also upsampled to 96 kHz, and
# every genuine one padded to 24 bits. Needs what make.sh needs, and python3.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../../../build/cli/sondaro-cli}
set_dir=$(mktemp -d)
trap 'rm -rf "$set_dir"' EXIT
src="$set_dir/src"; out="$set_dir/set"
mkdir -p "$src" "$out"
sf=/usr/share/sounds/sf2/FluidR3_GM.sf2
seconds=8

# The genuine sources, 16-bit stereo WAV: NAME_RATE.wav
for seed in 1 2 3 4 5 6; do
    python3 "$here/make-midi.py" "$src/p$seed.mid" "$seed" "$seconds"
    rate=44100; [ $((seed % 2)) -eq 0 ] && rate=48000
    fluidsynth -ni -q -r $rate -F "$src/raw.wav" "$sf" "$src/p$seed.mid" >/dev/null 2>&1
    sox "$src/raw.wav" -b 16 "$src/midi${seed}_$rate.wav" trim 0 $seconds
done
for rate in 44100 48000; do
    sox -n -r $rate -c 2 -b 16 "$src/noise1_$rate.wav" synth $seconds pinknoise vol 0.5 tremolo 3 90 2>/dev/null
    ffmpeg -v error -y -f lavfi -i "anoisesrc=c=white:a=0.25:d=$seconds:r=$rate:seed=$rate" \
        -f lavfi -i "anoisesrc=c=pink:a=0.3:d=$seconds:r=$rate" \
        -filter_complex "[0][1]amix=inputs=2,apulsator=hz=1.5" -ac 2 -ar $rate -sample_fmt s16 "$src/noise2_$rate.wav"
    m=1; [ $rate -eq 48000 ] && m=2
    sox -m -v 0.8 "$src/midi${m}_$rate.wav" -v 0.2 "$src/noise1_$rate.wav" -b 16 "$src/mix1_$rate.wav" 2>/dev/null
    sox -m -v 0.9 "$src/midi$((m + 2))_$rate.wav" -v 0.1 "$src/noise2_$rate.wav" -b 16 "$src/mix2_$rate.wav" 2>/dev/null
done
ffmpeg -v error -y -f lavfi -i "anoisesrc=c=white:a=0.3:d=$seconds:r=96000" -ac 2 -sample_fmt s32 -c:a flac \
    "$out/genuine96__white_96000.flac"

back() {   # back FILE RATE OUT: decode to 16-bit FLAC at RATE
    ffmpeg -v error -y -i "$1" -ar "$2" -sample_fmt s16 -c:a flac "$3"
}
for wav in "$src"/*_*.wav; do
    name=$(basename "$wav" .wav)
    rate=${name##*_}
    flac -s -f "$wav" -o "$out/genuine__$name.flac" 2>/dev/null
    sox "$wav" -b 24 "$out/padded24__$name.flac" 2>/dev/null
    [ "$rate" -eq 44100 ] && sox "$wav" -b 24 "$out/upsampled96__$name.flac" rate -v 96000 2>/dev/null
    t="$set_dir/t"
    for setting in "-b 128" "-b 192" "-V 2" "-V 0" "-b 320"; do
        label=mp3$(echo "$setting" | tr -d ' -')
        lame --silent $setting "$wav" "$t.mp3" && back "$t.mp3" "$rate" "$out/${label}__$name.flac"
    done
    for kbps in 128 256; do
        ffmpeg -v error -y -i "$wav" -c:a aac -b:a ${kbps}k "$t.m4a" && back "$t.m4a" "$rate" "$out/aac${kbps}__$name.flac"
    done
    for q in 3 6; do
        oggenc -Q -q $q "$wav" -o "$t.ogg" && back "$t.ogg" "$rate" "$out/vorbisq${q}__$name.flac"
    done
    opusenc --quiet --bitrate 96 "$wav" "$t.opus" && back "$t.opus" "$rate" "$out/opus96__$name.flac"
done

"$cli" --check -f json "$out" > "$set_dir/result.json" || true
python3 - "$set_dir/result.json" <<'PY'
import json, sys, collections
files = json.load(open(sys.argv[1]))["files"]
rows = collections.OrderedDict()
wrong = []
for f in files:
    label = f["FileName"].split("__")[0]
    check = f.get("losslessCheck", {})
    verdict = check.get("verdict", "not checked")
    expected = {"genuine": "full band", "genuine96": "full band", "upsampled96": "upsampled",
                "padded24": "padded bits"}.get(label, "lossy origin")
    hit = verdict == expected
    r = rows.setdefault(label, [0, 0, []])
    r[0] += 1
    r[1] += hit
    if label.startswith("mp3") or label.startswith("aac") or label.startswith("vorbis") or label.startswith("opus"):
        if hit: r[2].append(check.get("cutoffHz", 0) or check.get("holesFromHz", 0))
    if not hit: wrong.append((f["FileName"], check.get("text", "")))
print("| set | files | as expected | rate | cutoffs found (kHz) |")
print("|---|---|---|---|---|")
for label, (n, hit, cuts) in rows.items():
    cut = ""
    if cuts: cut = "%.1f-%.1f" % (min(cuts) / 1000, max(cuts) / 1000)
    print("| %s | %d | %d | %d%% | %s |" % (label, n, hit, round(100 * hit / n), cut))
print()
for name, text in wrong: print("not as expected: %s: %s" % (name, text))
PY
