#!/bin/sh
# Makes the lossless-check fixtures: a short General MIDI piece (make-midi.py)
# rendered by fluidsynth with the FluidR3 soundfont, kept genuine and sent
# through lossy encoders and back to 16-bit FLAC, plus an upsampled and a
# bit-padded copy. Needs fluidsynth, fluid-soundfont-gm, flac, lame, vorbis-tools,
# opus-tools, ffmpeg and sox.
# The lowpass LAME 3.100 prints with --verbose for each setting used here:
#   -b 128: transition band 16538 Hz - 17071 Hz
#   -V 2:   transition band 18671 Hz - 19205 Hz
#   -b 320: transition band 20094 Hz - 20627 Hz
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 make-midi.py "$tmp/piece.mid" 2 3
fluidsynth -ni -q -r 44100 -F "$tmp/stereo.wav" /usr/share/sounds/sf2/FluidR3_GM.sf2 "$tmp/piece.mid" >/dev/null 2>&1
# The first 2.5 seconds, in stereo for the encoders (their lowpass depends on
# the bitrate per channel); every fixture is then mixed down to mono to halve its size.
sox "$tmp/stereo.wav" -b 16 "$tmp/src.wav" trim 0 2.5
sox "$tmp/src.wav" "$tmp/mono.wav" remix 1,2
flac -s -f -8 "$tmp/mono.wav" -o genuine.flac
back() {   # back FILE OUT: decode FILE to 16-bit 44.1 kHz mono FLAC (or WAV)
    ffmpeg -v error -y -i "$1" -ar 44100 -ac 1 -sample_fmt s16 "$2"
}
lame --silent -b 128 "$tmp/src.wav" "$tmp/b128.mp3" && back "$tmp/b128.mp3" mp3-128.flac
lame --silent -V 2 "$tmp/src.wav" "$tmp/v2.mp3" && back "$tmp/v2.mp3" mp3-v2.flac
lame --silent -b 320 "$tmp/src.wav" "$tmp/b320.mp3" && back "$tmp/b320.mp3" mp3-320.flac
oggenc -Q -q 3 "$tmp/src.wav" -o "$tmp/q3.ogg" && back "$tmp/q3.ogg" vorbis-q3.flac
ffmpeg -v error -y -i "$tmp/src.wav" -c:a aac -b:a 128k "$tmp/aac.m4a" && back "$tmp/aac.m4a" aac-128.flac
opusenc --quiet --bitrate 96 "$tmp/src.wav" "$tmp/o.opus" && back "$tmp/o.opus" opus-96.wav
# The genuine piece at 96 kHz and 24 bits, the first second only.
sox "$tmp/mono.wav" -b 24 upsampled-96k.flac trim 0 1 rate -v 96000
# 16-bit samples in a 24-bit file.
sox "$tmp/mono.wav" -b 24 padded-24.flac
# Lower rates: the piece brought to 32 kHz by sox (genuine: content to 15.4
# kHz, then the resampler's edge), and to 22.05 kHz through oggenc -q 4
# (libvorbis's long blocks are 1,024 samples at that rate).
sox "$tmp/mono.wav" -b 16 genuine-32k.flac trim 0 1.5 rate -v 32000
sox "$tmp/mono.wav" "$tmp/m22.wav" trim 0 1.5 rate -v 22050
oggenc -Q -q 4 "$tmp/m22.wav" -o "$tmp/m22.ogg" && ffmpeg -v error -y -i "$tmp/m22.ogg" -sample_fmt s16 vorbis-22k.flac
# AAC at 256 kbps from a 48 kHz piece (2 s, raised to 1 dB under full scale, so
# that enough windows are loud): FFmpeg's encoder empties the band above
# 22 kHz in most frames and lets it through in some.
python3 make-midi.py "$tmp/piece48.mid" 2 3
fluidsynth -ni -q -r 48000 -F "$tmp/stereo48.wav" /usr/share/sounds/sf2/FluidR3_GM.sf2 "$tmp/piece48.mid" >/dev/null 2>&1
sox "$tmp/stereo48.wav" -b 16 "$tmp/src48.wav" trim 0 2 gain -n -1
ffmpeg -v error -y -i "$tmp/src48.wav" -c:a aac -b:a 256k "$tmp/aac256.m4a" &&
    ffmpeg -v error -y -i "$tmp/aac256.m4a" -ar 48000 -ac 1 -sample_fmt s16 aac-256-48k.flac
# LAME -V 0 from the same piece: no lowpass, but the top band dropped from some frames.
lame --silent -V 0 "$tmp/src48.wav" "$tmp/v0.mp3" &&
    ffmpeg -v error -y -i "$tmp/v0.mp3" -ac 1 -sample_fmt s16 mp3-v0-48k.flac
# Genuine, but steep: the piece rendered at 96 kHz and brought down to 44.1 kHz
# by sox's steep resampler (content to about 21.3 kHz, nothing above).
fluidsynth -ni -q -r 96000 -F "$tmp/stereo96.wav" /usr/share/sounds/sf2/FluidR3_GM.sf2 "$tmp/piece.mid" >/dev/null 2>&1
sox "$tmp/stereo96.wav" -b 16 -c 1 steep-44k.flac trim 0 2 remix 1,2 gain -n -1 rate -v 44100
# Pink noise with a tremolo, 1 s mono, through oggenc -q 6 and LAME -V 0: the
# band stays whole to 21 kHz, only the frame grid tells.
sox -n -r 44100 -c 1 -b 16 "$tmp/noise.wav" synth 1 pinknoise vol 0.5 tremolo 3 90
oggenc -Q -q 6 "$tmp/noise.wav" -o "$tmp/noise.ogg" &&
    ffmpeg -v error -y -i "$tmp/noise.ogg" -ar 44100 -sample_fmt s16 vorbis-q6-noise.flac
lame --silent -V 0 "$tmp/noise.wav" "$tmp/noise.mp3" &&
    ffmpeg -v error -y -i "$tmp/noise.mp3" -ar 44100 -sample_fmt s16 mp3-v0-noise.flac
