#!/bin/sh
# Makes the small sample folder that ./run.sh opens by default: two seconds of
# a chord in several formats, made by Debian's encoders.
# Needs: sox lame flac vorbis-tools wavpack speex ffmpeg
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -n -r 44100 -c 2 -b 16 "$tmp/chord.wav" synth 2 sine 220 sine 277 fade 0 2 0.3 gain -6
sox "$tmp/chord.wav" -r 22050 -c 1 "Chord (mono, 22 kHz).wav"
lame --quiet -V2 --id3v2-only --tt "Chord" "$tmp/chord.wav" "Chord (LAME V2).mp3"
lame --quiet -b 128 "$tmp/chord.wav" "Chord (LAME 128 CBR).mp3"
flac --silent -8 -f -o "Chord.flac" "$tmp/chord.wav"
oggenc --quiet -q 3 -o "Chord.ogg" "$tmp/chord.wav"
wavpack -q -h -y "Chord (mono, 22 kHz).wav" -o "Chord.wv"
speexenc --quiet "$tmp/chord.wav" "Chord.spx" 2>/dev/null || speexenc "$tmp/chord.wav" "Chord.spx"
ffmpeg -v error -y -i "$tmp/chord.wav" -c:a aac -b:a 96k "Chord.m4a"
ffmpeg -v error -y -i "$tmp/chord.wav" -c:a ac3 -b:a 96k "Chord.ac3"
ffmpeg -v error -y -i "$tmp/chord.wav" -c:a wmav2 -b:a 64k "Chord.wma"
sox "$tmp/chord.wav" -r 11025 -c 1 "Chord.aiff"
