#!/bin/bash
# Rebuilds the FLAC, Ogg Vorbis, Speex and TTA test files with Debian's
# encoders (flac, vorbis-tools, speex, ffmpeg) from tones made by sox.
# Re-runnable: every file is written anew. The tests assert the figures that
# ffprobe reports for these files, so re-check them after a re-run.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Quiet tones compress well and keep the files small.
sox -R -n -r 44100 -c 2 -b 16 "$tmp/stereo.wav" synth 1 sine 440 sine 660 vol 0.05
sox -R -n -r 44100 -c 1 -b 16 "$tmp/mono.wav" synth 1.5 sine 523 vol 0.05
sox -R -n -r 96000 -c 2 -b 24 --comment "" "$tmp/hires.aiff" synth 0.25 sine 1000 sine 1500 vol 0.05
sox -R -n -r 48000 -c 6 -b 16 -t wavpcm "$tmp/six.wav" synth 1 sine 200 sine 300 sine 400 sine 500 sine 600 sine 700 vol 0.05
sox -R -n -r 48000 -c 5 -b 16 -t wavpcm "$tmp/five.wav" synth 1 sine 200 sine 300 sine 400 sine 500 sine 600 vol 0.05
sox -R -n -r 8000 -c 1 -b 16 "$tmp/narrow.wav" synth 2 sine 440 vol 0.3
sox -R -n -r 16000 -c 1 -b 16 "$tmp/wide.wav" synth 2 sine 440 vol 0.3
ffmpeg -v error -y -f lavfi -i color=c=red:s=8x8 -frames:v 1 "$tmp/cover.png"

# FLAC: compression levels, padding, seek table, cover art, tags.
flac -s -f -0 --no-padding --no-seektable -o flac-level0.flac "$tmp/stereo.wav"
flac -s -f -5 -T "ARTIST=Sondaro" -T "TITLE=Level five" -o flac-level5.flac "$tmp/stereo.wav"
flac -s -f -8 --padding=1024 -T "TRACKNUMBER=7" -o flac-level8.flac "$tmp/stereo.wav"
flac -s -f -5 --padding=256 --picture="$tmp/cover.png" -o flac-cover.flac "$tmp/stereo.wav"
flac -s -f -5 -o flac-mono.flac "$tmp/mono.wav"
flac -s -f -5 -o flac-24bit-96k.flac "$tmp/hires.aiff"

# FLAC behind an ID3v2.3 tag: a 10-byte header, one TIT2 frame, zero padding;
# 1014 body bytes (syncsafe 0x07 0x76), 1024 bytes in all.
{
    printf 'ID3\x03\x00\x00\x00\x00\x07\x76'
    printf 'TIT2\x00\x00\x00\x06\x00\x00\x00Tone!'
    head -c 998 /dev/zero
} > "$tmp/id3v2.bin"
cat "$tmp/id3v2.bin" flac-level0.flac > flac-id3v2.flac

# Ogg Vorbis: quality levels, mono, six channels and five channels.
oggenc -Q -q 0 -o vorbis-q0.ogg "$tmp/stereo.wav"
oggenc -Q -q 5 -t "Quality five" -a "Sondaro" -N 3 -o vorbis-q5.ogg "$tmp/stereo.wav"
oggenc -Q -q 10 -o vorbis-q10.ogg "$tmp/stereo.wav"
oggenc -Q -q 3 -o vorbis-mono.ogg "$tmp/mono.wav"
oggenc -Q -q 0 -o vorbis-6ch.ogg "$tmp/six.wav"
oggenc -Q -q 0 -o vorbis-5ch.ogg "$tmp/five.wav"

# Speex: narrowband and wideband, both mono.
speexenc --quiet -n "$tmp/narrow.wav" speex-nb.spx
speexenc --quiet -w "$tmp/wide.wav" speex-wb.spx

# True Audio by ffmpeg's encoder.
ffmpeg -v error -y -i "$tmp/stereo.wav" -c:a tta tta-stereo.tta

# Ogg Vorbis with a large comment (about 74 KB of text, added by vorbiscomment):
# the comment header fills more than one page.
sox -R -n -r 22050 -c 1 -b 16 "$tmp/mono22.wav" synth 2 sine 440 vol 0.3
oggenc -Q -q 2 -o vorbis-large-comment.ogg "$tmp/mono22.wav"
python3 -c "print('COMMENT=' + 'Sondaro large comment. ' * 3200)" > "$tmp/comment.txt"
vorbiscomment -a -c "$tmp/comment.txt" vorbis-large-comment.ogg

# Ogg Vorbis cut inside its last page (an interrupted download).
sox -R -n -r 11025 -c 1 -b 16 "$tmp/noise.wav" synth 2 pinknoise vol 0.3
oggenc -Q -q 0 -o "$tmp/noise.ogg" "$tmp/noise.wav"
head -c 8500 "$tmp/noise.ogg" > vorbis-cut.ogg

# Ogg Vorbis by ffmpeg's libvorbis (its own vendor string).
ffmpeg -v error -y -i "$tmp/mono22.wav" -c:a libvorbis -q:a 2 vorbis-ffmpeg.ogg

# FLAC from a pipe to a pipe: the encoder cannot go back to write the total
# sample count, so STREAMINFO keeps 0 (unknown).
sox -R -n -r 16000 -c 1 -b 16 -t raw - synth 1.3 sine 440 vol 0.05 |
    flac -s -c --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 \
        --sample-rate=16000 - > flac-stdin.flac
