#!/bin/sh
# Measures the lossless check on a labelled set made here and prints the
# confusion table: per encoder setting, how many transcodes the check calls
# lossy; for the genuine files, how many it wrongly calls lossy.
#   tests/files/losslesscheck/evaluate.sh [build/cli/sondaro-cli]
# SET_DIR=DIR keeps the set in DIR and makes only the files missing there, so
# a second run only checks (the set takes a few minutes to make).
# Genuine sources: General MIDI pieces (make-midi.py, fluidsynth with the
# FluidR3 soundfont), pink and white noise with transients (sox, ffmpeg's
# anoisesrc), and mixtures of both, at 44.1 and 48 kHz; white noise at 96 kHz.
# Each goes through lame (-b 128, -b 192, -V 2, -V 0, -b 320), ffmpeg's AAC
# (128k, 256k), oggenc (-q 3, -q 6) and opusenc (96k) and back to 16-bit
# FLAC at its own rate; the 44.1 kHz ones are also upsampled to 96 kHz, and
# every genuine one padded to 24 bits.
# Further genuine files, not transcoded ("genuinex"): pieces with other seeds
# and quiet passages, noise with other seeds at 48 kHz, sine sweeps, and
# material made at 96 kHz and brought down to 44.1 kHz by sox's steep
# resampler (content to 20.9 kHz, then nothing: a genuine steep edge).
# Needs what make.sh needs, and python3.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../../../build/cli/sondaro-cli}
if [ -n "${SET_DIR:-}" ]; then
    set_dir=$SET_DIR
    mkdir -p "$set_dir"
else
    set_dir=$(mktemp -d)
    trap 'rm -rf "$set_dir"' EXIT
fi
src="$set_dir/src"; out="$set_dir/set"
mkdir -p "$src" "$out"
sf=/usr/share/sounds/sf2/FluidR3_GM.sf2
seconds=8
have() { [ -s "$1" ]; }

render() {   # render SEED RATE OUT.wav [SECONDS]: a General MIDI piece, 16-bit stereo
    python3 "$here/make-midi.py" "$src/p.mid" "$1" "${4:-$seconds}"
    fluidsynth -ni -q -r "$2" -F "$src/raw.wav" "$sf" "$src/p.mid" >/dev/null 2>&1
    sox "$src/raw.wav" -b 16 "$3" trim 0 "${4:-$seconds}"
}

# The genuine sources, 16-bit stereo WAV: NAME_RATE.wav
for seed in 1 2 3 4 5 6; do
    rate=44100; [ $((seed % 2)) -eq 0 ] && rate=48000
    have "$src/midi${seed}_$rate.wav" || render $seed $rate "$src/midi${seed}_$rate.wav"
done
for rate in 44100 48000; do
    have "$src/noise1_$rate.wav" ||
        sox -n -r $rate -c 2 -b 16 "$src/noise1_$rate.wav" synth $seconds pinknoise vol 0.5 tremolo 3 90 2>/dev/null
    have "$src/noise2_$rate.wav" ||
        ffmpeg -v error -y -f lavfi -i "anoisesrc=c=white:a=0.25:d=$seconds:r=$rate:seed=$rate" \
            -f lavfi -i "anoisesrc=c=pink:a=0.3:d=$seconds:r=$rate" \
            -filter_complex "[0][1]amix=inputs=2,apulsator=hz=1.5" -ac 2 -ar $rate -sample_fmt s16 "$src/noise2_$rate.wav"
    m=1; [ $rate -eq 48000 ] && m=2
    have "$src/mix1_$rate.wav" ||
        sox -m -v 0.8 "$src/midi${m}_$rate.wav" -v 0.2 "$src/noise1_$rate.wav" -b 16 "$src/mix1_$rate.wav" 2>/dev/null
    have "$src/mix2_$rate.wav" ||
        sox -m -v 0.9 "$src/midi$((m + 2))_$rate.wav" -v 0.1 "$src/noise2_$rate.wav" -b 16 "$src/mix2_$rate.wav" 2>/dev/null
done
have "$out/genuine96__white_96000.flac" ||
    ffmpeg -v error -y -f lavfi -i "anoisesrc=c=white:a=0.3:d=$seconds:r=96000" -ac 2 -sample_fmt s32 -c:a flac \
        "$out/genuine96__white_96000.flac"

back() {   # back FILE RATE OUT: decode to 16-bit FLAC at RATE
    ffmpeg -v error -y -i "$1" -ar "$2" -sample_fmt s16 -c:a flac "$3"
}
t="$src/t"
for wav in "$src"/*_*.wav; do
    name=$(basename "$wav" .wav)
    rate=${name##*_}
    have "$out/genuine__$name.flac" || flac -s -f "$wav" -o "$out/genuine__$name.flac" 2>/dev/null
    have "$out/padded24__$name.flac" || sox "$wav" -b 24 "$out/padded24__$name.flac" 2>/dev/null
    if [ "$rate" -eq 44100 ] && ! have "$out/upsampled96__$name.flac"; then
        sox "$wav" -b 24 "$out/upsampled96__$name.flac" rate -v 96000 2>/dev/null
    fi
    for setting in "-b 128" "-b 192" "-V 2" "-V 0" "-b 320"; do
        label=mp3$(echo "$setting" | tr -d ' -')
        have "$out/${label}__$name.flac" ||
            { lame --silent $setting "$wav" "$t.mp3" && back "$t.mp3" "$rate" "$out/${label}__$name.flac"; }
    done
    for kbps in 128 256; do
        have "$out/aac${kbps}__$name.flac" ||
            { ffmpeg -v error -y -i "$wav" -c:a aac -b:a ${kbps}k "$t.m4a" && back "$t.m4a" "$rate" "$out/aac${kbps}__$name.flac"; }
    done
    for q in 3 6; do
        have "$out/vorbisq${q}__$name.flac" ||
            { oggenc -Q -q $q "$wav" -o "$t.ogg" && back "$t.ogg" "$rate" "$out/vorbisq${q}__$name.flac"; }
    done
    have "$out/opus96__$name.flac" ||
        { opusenc --quiet --bitrate 96 "$wav" "$t.opus" && back "$t.opus" "$rate" "$out/opus96__$name.flac"; }
done

# Further genuine material, checked as it is.
x="$src/x"; mkdir -p "$x"
for seed in 11 12 13; do   # other pieces, with quiet passages (faded to -40 dB and back)
    rate=44100; [ $seed -eq 12 ] && rate=48000
    if ! have "$out/genuinex__quiet${seed}_$rate.flac"; then
        render $seed $rate "$x/q.wav"
        sox "$x/q.wav" "$out/genuinex__quiet${seed}_$rate.flac" fade t 2 0 2 vol 0.5 2>/dev/null
    fi
done
for seed in 7 8 9; do   # white and brown noise at 48 kHz, other seeds, with gaps
    have "$out/genuinex__noise${seed}_48000.flac" ||
        ffmpeg -v error -y -f lavfi -i "anoisesrc=c=white:a=0.2:d=$seconds:r=48000:seed=$seed" \
            -f lavfi -i "anoisesrc=c=brown:a=0.5:d=$seconds:r=48000:seed=$((seed * 7))" \
            -filter_complex "[0][1]amix=inputs=2,apulsator=hz=0.5:amount=1" -ac 2 -sample_fmt s16 \
            "$out/genuinex__noise${seed}_48000.flac"
done
for rate in 44100 48000; do   # a sine sweep over the whole band
    have "$out/genuinex__sweep_$rate.flac" ||
        sox -n -r $rate -c 2 -b 16 "$out/genuinex__sweep_$rate.flac" synth $seconds sine 20-$((rate / 2)) vol 0.5 2>/dev/null
done
for seed in 14 15; do   # made at 96 kHz, brought down to 44.1 kHz by a steep resampler
    if ! have "$out/genuinex__steep${seed}_44100.flac"; then
        render $seed 96000 "$x/s.wav"
        sox "$x/s.wav" -b 16 "$out/genuinex__steep${seed}_44100.flac" rate -v 44100 2>/dev/null
    fi
done
have "$out/genuinex__steep16_48000.flac" || {
    render 16 96000 "$x/s.wav"
    sox "$x/s.wav" -b 16 "$out/genuinex__steep16_48000.flac" rate -v 48000 2>/dev/null
}
have "$out/genuinex__steepnoise_44100.flac" || {
    sox -n -r 96000 -c 2 -b 24 "$x/n.wav" synth $seconds whitenoise vol 0.3 tremolo 2 80 2>/dev/null
    sox "$x/n.wav" -b 16 "$out/genuinex__steepnoise_44100.flac" rate -v 44100 2>/dev/null
}
have "$out/genuinex__steepmix_48000.flac" || {
    sox -m -v 0.8 "$src/midi1_44100.wav" -v 0.2 "$src/noise2_44100.wav" -r 96000 -b 24 "$x/m.wav" 2>/dev/null
    sox "$x/m.wav" -b 16 "$out/genuinex__steepmix_48000.flac" rate -v 48000 2>/dev/null
}

"$cli" --check -f json "$out" > "$set_dir/result.json" || true
python3 - "$set_dir/result.json" <<'PY'
import json, sys, collections
files = json.load(open(sys.argv[1]))["files"]
rows = collections.OrderedDict()
wrong = []
genuine = ("genuine", "genuine96", "genuinex")
for f in sorted(files, key=lambda f: f["FileName"]):
    label = f["FileName"].split("__")[0]
    check = f.get("losslessCheck", {})
    verdict = check.get("verdict", "not checked")
    expected = {"upsampled96": "upsampled", "padded24": "padded bits"}.get(
        label, "full band" if label in genuine else "lossy origin")
    hit = verdict == expected
    r = rows.setdefault(label, [0, 0, [], collections.Counter()])
    r[0] += 1
    r[1] += hit
    if expected == "lossy origin" and hit:
        cut = check.get("cutoffHz", 0) or check.get("holesFromHz", 0)
        if cut: r[2].append(cut)
    grid = check.get("frameGrid", {}).get("codec", "")
    if grid: r[3][grid] += 1
    if not hit: wrong.append((f["FileName"], check.get("text", "")))
order = ["genuine", "genuine96", "genuinex", "mp3b128", "mp3b192", "mp3V2", "mp3b320", "mp3V0",
         "aac128", "aac256", "vorbisq3", "vorbisq6", "opus96", "upsampled96", "padded24"]
print("| set | files | as expected | rate | cutoffs found (kHz) | frame grids found |")
print("|---|---|---|---|---|---|")
for label in sorted(rows, key=lambda l: order.index(l) if l in order else len(order)):
    n, hit, cuts, grids = rows[label]
    cut = ""
    if cuts: cut = "%.1f-%.1f" % (min(cuts) / 1000, max(cuts) / 1000)
    grid = ", ".join("%s %d" % (codec, count) for codec, count in sorted(grids.items()))
    print("| %s | %d | %d | %d%% | %s | %s |" % (label, n, hit, round(100 * hit / n), cut, grid))
fa = sum(rows[l][0] - rows[l][1] for l in genuine if l in rows)
print()
print("false alarms on genuine files: %d of %d" % (fa, sum(rows[l][0] for l in genuine if l in rows)))
for name, text in wrong: print("not as expected: %s: %s" % (name, text))
PY
