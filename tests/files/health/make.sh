#!/bin/sh
# Damaged files for the health tests, made from real encoder output: a
# 2-second tone through lame, oggenc, flac and sox (8 kHz 16-bit for the
# lossy encoders, 4 kHz 8-bit for the rest, so that every file stays a few
# KB), then cut, prefixed with junk, flipped or edited by hand. The second
# part does the same for wavpack, ffmpeg (TTA, AAC in MP4), opusenc,
# speexenc, flac --ogg and mpcenc.
set -e
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -n -r 8000 -c 1 -b 16 "$tmp/tone8k.wav" synth 2 sine 440 vol 0.5
sox -n -r 4000 -c 1 -b 8 "$tmp/tone4k.wav" synth 2 sine 440 vol 0.5
lame --silent -V 9 "$tmp/tone8k.wav" ok-vbr.mp3
oggenc -Q -q -1 "$tmp/tone8k.wav" -o ok.ogg
flac -s -f --padding=512 "$tmp/tone4k.wav" -o ok.flac
cp "$tmp/tone4k.wav" ok.wav
sox "$tmp/tone4k.wav" ok.aiff

# cut <file> <percent> <out>: the first percent of the file's bytes.
cut_at() { size=$(stat -c %s "$1"); head -c $(( size * $2 / 100 )) "$1" > "$3"; }
for p in 10 50 99; do
    cut_at ok-vbr.mp3 $p cut$p.mp3
    cut_at ok.flac $p cut$p.flac
    cut_at ok.ogg $p cut$p.ogg
    cut_at ok.wav $p cut$p.wav
    cut_at ok.aiff $p cut$p.aiff
done

# 700 bytes of text in front of the first frame.
{ head -c 700 /dev/zero | tr '\0' 'J'; cat ok-vbr.mp3; } > junk.mp3

# flip <file> <out>: eight bytes in the middle of the file inverted.
flip() {
    size=$(stat -c %s "$1"); at=$(( size / 2 ))
    python3 -c "import sys; d=bytearray(open(sys.argv[1],'rb').read()); a=int(sys.argv[3])
for i in range(a, a+8): d[i]^=0xFF
open(sys.argv[2],'wb').write(d)" "$1" "$2" "$at"
}
flip ok-vbr.mp3 flipped.mp3
flip ok.flac flipped.flac
flip ok.ogg flipped.ogg

# One byte of the LAME tag's encoder flags changed (the tag's CRC-16 then fails).
python3 - <<'PY'
d = bytearray(open('ok-vbr.mp3', 'rb').read())
at = d.index(b'LAME')
d[at + 9] ^= 0x01                       # the revision/VBR method byte
open('lametag.mp3', 'wb').write(d)
PY
# A gain edit as MP3Gain makes it: global_gain of every granule lowered
# by 2 in the side information. Only the audio changes, so the LAME music
# CRC no longer matches.
python3 gain_edit.py ok-vbr.mp3 gain.mp3 2

# An ID3v2 tag whose size runs past the end of the file, in front of the audio.
python3 - <<'PY'
d = open('ok-vbr.mp3', 'rb').read()
size = len(d) + 5000
syncsafe = bytes([(size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F])
open('id3past.mp3', 'wb').write(b'ID3\x03\x00\x00' + syncsafe + d)
PY

# ---- Second part: the other formats Debian has encoders for ----------------
sox -n -r 4000 -c 1 -b 16 "$tmp/tone4k16.wav" synth 2 sine 440 vol 0.5
sox -n -r 32000 -c 1 -b 16 "$tmp/tone32k.wav" synth 1 sine 440 vol 0.5
wavpack -q -y --blocksize=1000 "$tmp/tone4k.wav" -o ok.wv
ffmpeg -v error -y -i "$tmp/tone4k16.wav" ok.tta
opusenc --quiet --bitrate 6 "$tmp/tone8k.wav" ok.opus
flac -s -f --ogg --no-padding --blocksize=576 "$tmp/tone4k.wav" -o ok.oga
speexenc "$tmp/tone8k.wav" ok.spx 2>/dev/null
mpcenc --silent --overwrite --telephone "$tmp/tone32k.wav" ok.mpc
# The movie atom first (as streaming files have it), so that a cut keeps it.
ffmpeg -v error -y -i "$tmp/tone8k.wav" -c:a aac -b:a 12k -movflags +faststart ok.m4a
for ext in wv tta opus oga spx mpc m4a; do
    for p in 10 50 99; do cut_at ok.$ext $p cut$p.$ext; done
done

# Tag blocks whose sizes run past what holds them: an APE tag (written by
# wavpack) claiming more bytes than the file, and a FLAC comment field
# claiming more than its block.
wavpack -q -y -w "Title=Tone" "$tmp/tone4k.wav" -o "$tmp/tagged.wv"
python3 - "$tmp/tagged.wv" <<'PY'
import struct, sys
d = bytearray(open(sys.argv[1], 'rb').read())
footer = len(d) - 32
assert d[footer:footer + 8] == b'APETAGEX'
struct.pack_into('<I', d, footer + 12, len(d) + 1000)   # the tag size
open('apepast.wv', 'wb').write(d)
PY
flac -s -f --padding=512 -T "TITLE=Tone" "$tmp/tone4k.wav" -o "$tmp/tagged.flac"
python3 - "$tmp/tagged.flac" <<'PY'
import struct, sys
d = bytearray(open(sys.argv[1], 'rb').read())
at = d.index(b'TITLE=Tone') - 4              # the field's 32-bit length
struct.pack_into('<I', d, at, 5000)
open('commentpast.flac', 'wb').write(d)
PY

# ---- Third part: Monkey's Audio and MPEG audio without a VBR header --------
# jmac (Debian's libjmac-java) writes Monkey's Audio 3.99 in frames of 73,728
# samples. Two frames of silence take a few bytes each, so the file stays
# small: 36.864 s of silence, then 3.136 s ending in half a second of tone.
sox -D -n -r 4000 -c 1 -b 16 "$tmp/silence.wav" trim 0 36.864
sox -D -n -r 4000 -c 1 -b 16 "$tmp/ending.wav" synth 0.5 sine 440 vol 0.5 pad 2.636 0
sox "$tmp/silence.wav" "$tmp/ending.wav" "$tmp/ape.wav"
jmac c2 "$tmp/ape.wav" ok.ape > /dev/null
for p in 10 50 99; do cut_at ok.ape $p cut$p.ape; done
head -c 100 ok.ape > cuthead.ape   # inside the seek table

# MPEG audio whose frames nothing counts: lame's CBR without its Info tag,
# and twolame's MP2. Cut 100 bytes past the middle (inside a frame), once
# with an ID3v1 tag after the cut; the whole file with the tag is sound.
sox -n -r 16000 -c 1 -b 16 "$tmp/tone16k.wav" synth 1 sine 440 vol 0.5
lame --silent -b 32 -t "$tmp/tone8k.wav" ok-cbr.mp3
twolame --quiet -b 32 "$tmp/tone16k.wav" ok.mp2
id3v1() { printf 'TAG'; head -c 125 /dev/zero; }
for f in ok-cbr.mp3 ok.mp2; do
    size=$(stat -c %s $f)
    head -c $(( size / 2 + 100 )) $f > "cutframe-$f"
    { head -c $(( size / 2 + 100 )) $f; id3v1; } > "cutframe-id3v1-$f"
    { cat $f; id3v1; } > "id3v1-$f"
done

# WavPack blocks longer than the 8 KiB a scan looks at: noise in two blocks
# of 11,000 samples, cut 300 bytes short. Only verify finds the last whole
# block.
sox -n -r 4000 -c 1 -b 8 "$tmp/noise4k.wav" synth 5.5 whitenoise vol 0.9
wavpack -q -y --blocksize=11000 "$tmp/noise4k.wav" -o "$tmp/bigblocks.wv"
size=$(stat -c %s "$tmp/bigblocks.wv")
head -c $(( size - 300 )) "$tmp/bigblocks.wv" > cutbigblocks.wv
