#!/bin/sh
# Rebuilds the real WavPack and Musepack fixtures from generated test tones.
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
