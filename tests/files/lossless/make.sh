#!/bin/sh
# Rebuilds the real WavPack and Musepack fixtures from generated test tones
# (and a DSD tone from make-dsf.py).
# Needs sox, wavpack and mpcenc (Debian packages sox, wavpack, musepack-tools).
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# One second of test tone: two sines at 44.1 kHz 16-bit stereo, one at 48 kHz
# 24-bit mono. No dither (-D), so that every run writes the same files.
sox -D -n -r 44100 -b 16 -c 2 "$tmp/stereo.wav" synth 1 sine 440 sine 660 vol 0.5
sox -D -n -r 48000 -b 24 -c 1 "$tmp/mono24.wav" synth 1 sine 1000 vol 0.5

wavpack -q -y -f "$tmp/stereo.wav" -o wv-fast.wv
wavpack -q -y "$tmp/stereo.wav" -o wv-normal.wv
wavpack -q -y -h "$tmp/stereo.wav" -o wv-high.wv
wavpack -q -y -hh "$tmp/stereo.wav" -o wv-veryhigh.wv
wavpack -q -y -x "$tmp/stereo.wav" -o wv-extra.wv
wavpack -q -y -h -x "$tmp/stereo.wav" -o wv-high-extra.wv
wavpack -q -y -b256 "$tmp/stereo.wav" -o wv-hybrid.wv
wavpack -q -y "$tmp/mono24.wav" -o wv-mono24.wv

# mpcenc writes stream version 8.
mpcenc --silent --overwrite "$tmp/stereo.wav" mpc-sv8.mpc

# Multichannel: 5.1 at 8 kHz; the channel count is in a channel-info sub-block.
sox -D -n -r 8000 -b 16 -c 6 "$tmp/six.wav" synth 0.5 sine 200 sine 300 sine 400 sine 500 sine 600 sine 700 vol 0.3
wavpack -q -y "$tmp/six.wav" -o wv-5.1.wv

# Streamed through pipes: the encoder cannot go back to write the total
# sample count, so every block says "unknown"; three blocks of 4000 samples.
sox -D -n -r 8000 -b 16 -c 2 "$tmp/short.wav" synth 1.5 sine 440 sine 660 vol 0.3
cat "$tmp/short.wav" | wavpack -q -y -i --blocksize=4000 - -o - > wv-streamed.wv

# A rate without an index in the block header (a sample-rate sub-block).
sox -D -n -r 37800 -b 16 -c 1 "$tmp/r37800.wav" synth 0.3 sine 440 vol 0.3
wavpack -q -y "$tmp/r37800.wav" -o wv-37800.wv

# DSD64 (1-bit audio at 2,822,400 Hz) from a DSF file of a 1 kHz tone.
python3 make-dsf.py "$tmp/tone.dsf" 0.1
wavpack -q -y "$tmp/tone.dsf" -o wv-dsd64.wv

# ffmpeg's encoder writes no configuration sub-block, and an APE tag after
# the only block.
sox -D -n -r 8000 -b 16 -c 1 "$tmp/tone8k.wav" synth 0.5 sine 440 vol 0.3
ffmpeg -v error -y -i "$tmp/tone8k.wav" -c:a wavpack wv-ffmpeg.wv
