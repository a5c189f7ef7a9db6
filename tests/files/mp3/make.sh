#!/bin/bash
# Makes the MPEG audio fixtures with Debian's encoders (lame 3.100, twolame,
# ffmpeg with its mp2, libmp3lame and libshine encoders) and wraps some of
# them in hand-made ID3v2, ID3v1, Lyrics3 and APE tags. Re-runnable: the input
# audio comes from sox with its repeatable random numbers, so the same tools
# give the same bytes. Writes ffprobe.txt with ffprobe's view of every file
# (sample rate, channels, duration) for cross-checking.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One second of pink noise: stereo and mono at 44.1 kHz, and the other rates.
for rate in 44100 48000 32000 22050 24000 16000 11025 12000 8000; do
    sox -R -n -r $rate -c 2 -b 16 "$work/in$rate.wav" synth 1 pinknoise gain -12
    sox -R -n -r $rate -c 1 -b 16 "$work/mono$rate.wav" synth 1 pinknoise gain -12
done
in=$work/in44100.wav

lame_() { local out=$1; shift; lame --quiet --nohist "$@" "$out"; }

# LAME 3.100: CBR, ABR, every -V level, named presets, channel modes.
lame_ lame_cbr128.mp3 -b 128 "$in"
lame_ lame_cbr64_mono.mp3 -b 64 -m m "$work/mono44100.wav"
lame_ lame_cbr96_stereo.mp3 -b 96 -m s "$in"
lame_ lame_cbr96_dual.mp3 -b 96 -m d "$in"
lame_ lame_abr160.mp3 --abr 160 "$in"
for v in 0 1 2 3 4 5 6 7 8 9; do lame_ lame_V$v.mp3 -V $v "$in"; done
lame_ lame_V5_mono.mp3 -V 5 -m m "$work/mono44100.wav"
lame_ lame_preset_standard.mp3 --preset standard "$in"
lame_ lame_preset_extreme.mp3 --preset extreme "$in"
lame_ lame_preset_insane.mp3 --preset insane "$in"
lame_ lame_preset_medium.mp3 --preset medium "$in"
lame_ lame_preset_128.mp3 --preset 128 "$in"
lame_ lame_preset_cbr64.mp3 --preset cbr 64 "$in"
# MPEG-1 at 48 and 32 kHz, MPEG-2 and MPEG-2.5 sample rates.
lame_ lame_48000_cbr192.mp3 -b 192 "$work/in48000.wav"
lame_ lame_32000_V4.mp3 -V 4 "$work/in32000.wav"
lame_ lame_22050_V4.mp3 -V 4 "$work/in22050.wav"
lame_ lame_24000_cbr64.mp3 -b 64 "$work/in24000.wav"
lame_ lame_16000_mono_cbr32.mp3 -b 32 -m m "$work/mono16000.wav"
lame_ lame_11025_cbr32.mp3 -b 32 "$work/in11025.wav"
lame_ lame_12000_V6.mp3 -V 6 "$work/in12000.wav"
lame_ lame_8000_mono_cbr8.mp3 -b 8 -m m "$work/mono8000.wav"

# Layer II: twolame (MPEG-1 and MPEG-2) and ffmpeg's encoder.
twolame --quiet -b 192 "$in" twolame_192.mp2
twolame --quiet -b 384 "$work/in32000.wav" twolame_32000_384.mp2
twolame --quiet -b 64 "$work/in24000.wav" twolame_24000_64.mp2
ffmpeg -v error -y -i "$in" -c:a mp2 -b:a 160k ffmpeg_mp2_160.mp2
# ffmpeg's LAME (its own Xing frame, "LAME3.100" only in the frame data) and Shine.
ffmpeg -v error -y -i "$in" -c:a libmp3lame -b:a 128k -id3v2_version 0 ffmpeg_lame_cbr128.mp3
ffmpeg -v error -y -i "$in" -c:a libmp3lame -b:a 128k -id3v2_version 0 -write_xing 0 ffmpeg_lame_noxing.mp3
ffmpeg -v error -y -i "$in" -c:a libmp3lame -q:a 2 -id3v2_version 0 ffmpeg_lame_q2.mp3
ffmpeg -v error -y -i "$in" -c:a libshine -b:a 128k -id3v2_version 0 ffmpeg_shine_128.mp3
ffmpeg -v error -y -i "$work/mono44100.wav" -c:a libmp3lame -b:a 128k ffmpeg_lame_id3v24.mp3

# The encoder-evidence corpus: half a second each, with and without the
# encoders' own marks.
sox -R -n -r 44100 -c 2 -b 16 "$work/half.wav" synth 0.5 pinknoise gain -12
half=$work/half.wav
lame_ enc_lame_notag_V2.mp3 -t -V 2 "$half"
lame_ enc_lame_notag_cbr128.mp3 -t -b 128 "$half"
lame_ enc_lame_abr192.mp3 --abr 192 "$half"
lame_ enc_lame_b320.mp3 -b 320 "$half"
ffmpeg -v error -y -i "$half" -c:a libmp3lame -b:a 192k -id3v2_version 0 enc_ffmpeg_lame_b192.mp3
ffmpeg -v error -y -i "$half" -c:a libmp3lame -b:a 192k -abr 1 -id3v2_version 0 enc_ffmpeg_lame_abr192.mp3
ffmpeg -v error -y -i "$half" -c:a mp2 -b:a 128k enc_ffmpeg_mp2_128.mp2
# ffmpeg's MP3 muxer writes its own ID3v2 tag with a TSSE text by default;
# without its Xing frame and with Shine, that text is the only mark.
ffmpeg -v error -y -i "$half" -c:a libshine -b:a 128k -write_xing 0 enc_ffmpeg_shine_tsse.mp3
twolame --quiet -b 128 "$half" enc_twolame_128.mp2

# Hand-made tags around LAME files.
byte() { printf "\\x$(printf %02x $(($1 & 255)))"; }
le32() { byte $1; byte $(($1 >> 8)); byte $(($1 >> 16)); byte $(($1 >> 24)); }
be32() { byte $(($1 >> 24)); byte $(($1 >> 16)); byte $(($1 >> 8)); byte $1; }
synchsafe() { byte $(($1 >> 21 & 127)); byte $(($1 >> 14 & 127)); byte $(($1 >> 7 & 127)); byte $(($1 & 127)); }
zeros() { head -c "$1" /dev/zero; }
pad() { printf '%s' "$1"; zeros $(($2 - ${#1})); }

# ID3v2.3 with one title frame and 1000 bytes of padding.
id3v23() {
    local body=$work/id3body
    { printf 'TIT2'; be32 6; printf '\0\0\0Title'; zeros 1000; } > "$body"
    printf 'ID3\x03\x00\x00'; synchsafe $(stat -c %s "$body"); cat "$body"
}
# ID3v2.4 with a footer (flag 0x10).
id3v24footer() {
    local body=$work/id3body
    { printf 'TIT2'; synchsafe 6; printf '\0\0\3Title'; zeros 200; } > "$body"
    local size=$(stat -c %s "$body")
    printf 'ID3\x04\x00\x10'; synchsafe $size; cat "$body"
    printf '3DI\x04\x00\x10'; synchsafe $size
}
id3v1() {
    printf 'TAG'; pad Title 30; pad Artist 30; pad Album 30; pad 2024 4; pad Comment 28; byte 0; byte 1; byte 12
}
lyrics3() {
    local fields='IND00003110LYR00005hello'
    printf 'LYRICSBEGIN%s' "$fields"; printf '%06d' $((11 + ${#fields})); printf 'LYRICS200'
}
# APE tag version 2 with a header and one item.
ape() {
    local items=$work/apeitems
    { le32 5; le32 0; printf 'Title\0Hello'; } > "$items"
    local size=$(($(stat -c %s "$items") + 32))
    printf 'APETAGEX'; le32 2000; le32 $size; le32 1; le32 $((0x80000000 | 0x20000000)); zeros 8
    cat "$items"
    printf 'APETAGEX'; le32 2000; le32 $size; le32 1; le32 $((0x80000000)); zeros 8
}

{ id3v23; cat lame_V2.mp3; } > tag_id3v2_V2.mp3
{ id3v24footer; cat lame_cbr128.mp3; } > tag_id3v2footer_cbr128.mp3
{ cat lame_cbr128.mp3; id3v1; } > tag_id3v1_cbr128.mp3
{ cat lame_cbr128.mp3; lyrics3; id3v1; } > tag_lyrics3_cbr128.mp3
{ cat lame_cbr128.mp3; ape; } > tag_ape_cbr128.mp3
{ id3v23; cat lame_cbr128.mp3; ape; id3v1; } > tag_all_cbr128.mp3
{ cat lame_V2.mp3; ape; id3v1; } > tag_ape_id3v1_V2.mp3

# ffprobe's view, for cross-checking the reader's figures.
for f in *.mp3 *.mp2; do
    printf '%s ' "$f"
    ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels,duration \
        -of csv=p=0 "$f" | head -n 1 | sed 's/,$//'
done > ffprobe.txt

# ffmpeg's full decode, in samples per channel: it trims the encoder delay
# and padding a LAME or ffmpeg tag records (and the decoder's own 529).
for f in *.mp3 *.mp2; do
    printf '%s %s\n' "$f" "$(ffmpeg -v quiet -i "$f" -map 0:a:0 -ac 1 -f s16le - | wc -c | awk '{print $1 / 2}')"
done > decoded.txt
