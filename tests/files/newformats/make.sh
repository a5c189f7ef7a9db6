#!/bin/bash
# Rebuilds the Opus, Ogg FLAC, Speex-in-.ogg, Musepack SV8, Matroska/WebM,
# E-AC-3 and DSD test files with Debian's encoders (opus-tools, flac, speex,
# musepack-tools, mkvtoolnix, ffmpeg, sox) from quiet test tones.
# Re-runnable: every file is written anew. The tests assert the figures that
# ffprobe and hand calculations give for these files; check_ffprobe.sh
# compares every real file with ffprobe.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Short quiet tones keep the files to a few KB. No dither, so runs repeat.
# Opus files last 1 s: ffprobe counts the 6.5 ms pre-skip in, which is
# more than 1% of anything shorter.
sox -D -n -r 48000 -c 2 -b 16 "$tmp/stereo48.wav" synth 1 sine 440 sine 660 vol 0.05
sox -D -n -r 16000 -c 1 -b 16 "$tmp/mono16.wav" synth 1 sine 523 vol 0.05
sox -D -n -r 48000 -c 6 -b 16 -t wavpcm "$tmp/six48.wav" synth 0.7 sine 200 sine 300 sine 400 sine 500 sine 600 sine 700 vol 0.05
sox -D -n -r 22050 -c 2 -b 16 "$tmp/stereo22.wav" synth 0.5 sine 440 sine 660 vol 0.05
# 21888 samples: 19 whole Musepack frames of 1152.
sox -D -r 44100 -n -c 2 -b 16 "$tmp/stereo44.wav" synth 21888s sine 440 sine 660 vol 0.05
sox -D -n -r 8000 -c 1 -b 16 "$tmp/narrow.wav" synth 3 sine 440 vol 0.3

rm -f ./*.opus ./*.oga ./*.ogg ./*.mpc ./*.mka ./*.webm ./*.weba ./*.ac3 ./*.eac3 ./*.ec3

# Opus by opusenc: bitrates, mono (from a 16 kHz input), stereo, 5.1.
opusenc --quiet --bitrate 16 "$tmp/mono16.wav" opus-mono-16k.opus
opusenc --quiet --bitrate 32 "$tmp/stereo48.wav" opus-stereo-32k.opus
opusenc --quiet --bitrate 64 "$tmp/stereo48.wav" opus-stereo-64k.opus
# (at 80 kbit/s and below opusenc mixes 5.1 down to stereo)
opusenc --quiet --bitrate 96 "$tmp/six48.wav" opus-51-96k.opus
# Opus by ffmpeg's libopus, under .ogg and .oga.
ffmpeg -v error -y -i "$tmp/stereo48.wav" -c:a libopus -b:a 48k -f ogg lavf-opus.ogg
cp opus-mono-16k.opus opus-mono.oga

# FLAC in Ogg: flac --ogg and ffmpeg's muxer.
flac -s -f --ogg -5 -o flac-ogg.oga "$tmp/stereo44.wav"
ffmpeg -v error -y -i "$tmp/stereo22.wav" -c:a flac -f ogg lavf-flac.ogg

# Speex in an Ogg file named .ogg; 3 s, as ffprobe adds the encoder's
# 20 ms look-ahead to the length.
speexenc --quiet -n "$tmp/narrow.wav" "$tmp/speex.spx"
cp "$tmp/speex.spx" speex-nb.ogg

# Musepack stream version 8 at each profile (mpcenc writes SV8).
for p in telephone thumb radio standard xtreme insane braindead; do
    mpcenc --silent --overwrite --$p "$tmp/stereo44.wav" mpc-$p.mpc
done

# Matroska and WebM audio.
ffmpeg -v error -y -i "$tmp/stereo48.wav" -c:a libopus -b:a 32k -f webm lavf-opus.webm
ffmpeg -v error -y -i "$tmp/stereo44.wav" -c:a libvorbis -q:a 0 -f matroska lavf-vorbis.mka
ffmpeg -v error -y -i "$tmp/stereo22.wav" -c:a flac -f matroska lavf-flac.mka
ffmpeg -v error -y -i "$tmp/mono16.wav" -c:a libopus -b:a 16k -f webm lavf-opus-mono.weba
mkvmerge --quiet -o mkvmerge-opus.mka opus-stereo-32k.opus
# A first track of video and a second of audio.
ffmpeg -v error -y -f lavfi -i color=c=black:s=16x16:r=5 -i "$tmp/stereo48.wav" -t 0.4 \
    -c:v libvpx-vp9 -b:v 10k -c:a libopus -b:a 24k -f webm video-then-audio.webm

# E-AC-3 by ffmpeg: stereo at 44.1 kHz, 5.1 at 48 kHz; one under .ac3.
ffmpeg -v error -y -i "$tmp/stereo44.wav" -c:a eac3 -b:a 96k eac3-stereo-44k.eac3
ffmpeg -v error -y -i "$tmp/six48.wav" -t 0.25 -c:a eac3 -b:a 192k -f eac3 eac3-51-48k.ec3
cp eac3-stereo-44k.eac3 eac3-stereo-44k.ac3

# DSF and DSDIFF: no encoder here writes them; make_dsd.py builds them from a
# modulated tone, and ffmpeg decodes them (check_ffprobe.sh).
rm -f ./*.dsf ./*.dff
./make_dsd.py .
