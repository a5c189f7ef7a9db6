#!/bin/sh
# Rebuilds the MP4, AAC and WMA fixtures with ffmpeg. Run from anywhere;
# the files land next to this script. Every input is a generated sine.
set -eu
cd "$(dirname "$0")"
FF="ffmpeg -hide_banner -loglevel error -y"
sine() { echo "sine=frequency=440:duration=$1:sample_rate=$2"; }

# MPEG-4 audio (AAC) in M4A: with ffmpeg's own encoding-tool item, without it
# (bit-exact mode drops the tool item; a title keeps udta/meta present), and
# with udta/meta stripped altogether.
$FF -f lavfi -i "$(sine 1 44100)" -ac 2 -c:a aac -b:a 128k aac-lavf.m4a
$FF -f lavfi -i "$(sine 1 44100)" -ac 2 -c:a aac -b:a 128k -fflags +bitexact \
    -metadata title="No tool" aac-notool.m4a
$FF -f lavfi -i "$(sine 1 44100)" -ac 2 -c:a aac -b:a 128k -fflags +bitexact \
    -map_metadata -1 aac-stripped.m4a
# ffmpeg always writes udta/meta/ilst (empty here): blank the user-data atom
# out by turning it into a "free" atom of the same size, as tag strippers do.
udta=$(grep -obUa udta aac-stripped.m4a | tail -n 1 | cut -d: -f1)
printf free | dd of=aac-stripped.m4a bs=1 seek="$udta" conv=notrunc status=none
# A clip shorter than half a second (0.4 s, mono 48 kHz).
$FF -f lavfi -i "$(sine 0.4 48000)" -ac 1 -c:a aac -b:a 96k aac-short.m4a
# The same kind of stream in an .mp4 container.
$FF -f lavfi -i "$(sine 1 32000)" -ac 1 -c:a aac -b:a 64k aac.mp4

# Apple Lossless, 16-bit mono 22050 Hz.
$FF -f lavfi -i "$(sine 1 22050)" -ac 1 -c:a alac -sample_fmt s16p alac.m4a

# Tags and two cover pictures (PNG and JPEG) in one covr item.
$FF -f lavfi -i "color=c=red:s=8x8:d=1" -frames:v 1 cover.png
$FF -f lavfi -i "color=c=blue:s=8x8:d=1" -frames:v 1 cover.jpg
$FF -f lavfi -i "$(sine 1 44100)" -i cover.png -i cover.jpg \
    -map 0:a -map 1:v -map 2:v -ac 2 -c:a aac -b:a 96k -c:v copy \
    -disposition:v:0 attached_pic -disposition:v:1 attached_pic \
    -metadata title="Sine Title" -metadata artist="Artist Ünïcode" \
    -metadata album="The Album" -metadata comment="A comment" \
    -metadata date=2021 -metadata genre="Electronic" -metadata track=3/12 \
    -metadata disc=1/2 -metadata composer="Composer" -metadata grouping="Group" \
    -metadata lyrics="La la la" -metadata copyright="(c) Nobody" \
    -metadata description="Desc" -metadata compilation=1 tagged-cover.m4a
rm -f cover.png cover.jpg

# ADTS: plain, and with an ID3v2 tag in front and an ID3v1 tag behind.
$FF -f lavfi -i "$(sine 1 44100)" -ac 2 -c:a aac -b:a 128k -f adts adts.aac
$FF -f lavfi -i "$(sine 1 48000)" -ac 1 -c:a aac -b:a 64k -write_id3v2 1 \
    -metadata title="ADTS Title" -f adts adts-id3.aac
{
    printf 'TAG'
    printf '%-30s' 'ID3v1 Title' | head -c 30
    printf '%-30s' 'Artist' | head -c 30
    printf '%-30s' 'Album' | head -c 30
    printf '2020'
    head -c 30 /dev/zero
    printf '\014'
} >> adts-id3.aac

# Windows Media Audio 1 and 2 (format tags 0x0160 and 0x0161), the second with tags.
$FF -f lavfi -i "$(sine 1 22050)" -ac 1 -c:a wmav1 -b:a 32k wmav1.wma
$FF -f lavfi -i "$(sine 1 44100)" -ac 2 -c:a wmav2 -b:a 128k \
    -metadata title="WMA Title" -metadata artist="WMA Artist" -metadata album="WMA Album" \
    -metadata genre="Ambient" -metadata track=7 -metadata date=2019 \
    -metadata comment="WMA comment" -metadata copyright="WMA rights" wmav2-tags.wma

# Every audio codec ffmpeg puts in MP4, short and at low rates: AC-3 and
# E-AC-3 (channels from "dac3"/"dec3"), Opus ("dOps"), MP3 and MP2 (object
# types 0x6B/0x69, named by the layer of the first frame), FLAC ("dfLa").
$FF -f lavfi -i "$(sine 0.5 32000)" -ac 1 -c:a ac3 -b:a 64k ac3.m4a
$FF -f lavfi -i "$(sine 0.5 32000)" -ac 2 -c:a eac3 -b:a 64k eac3.mp4
$FF -f lavfi -i "$(sine 0.5 48000)" -ac 1 -c:a libopus -b:a 16k opus.mp4
$FF -f lavfi -i "$(sine 0.5 22050)" -ac 1 -c:a libmp3lame -b:a 32k mp3.mp4
$FF -f lavfi -i "$(sine 0.5 22050)" -ac 1 -c:a mp2 -b:a 32k mp2.mp4
$FF -f lavfi -i "$(sine 0.5 8000)" -ac 1 -c:a flac -strict -2 flac.mp4
# 96 kHz Apple Lossless: the entry's 16.16 rate field cannot hold the rate.
$FF -f lavfi -i "$(sine 0.1 96000)" -ac 1 -c:a alac -sample_fmt s16p alac-96k.m4a
# Fragmented: an empty "moov" with "mvex", then "moof"/"mdat" pairs.
$FF -f lavfi -i "$(sine 1 16000)" -ac 1 -c:a aac -b:a 24k -movflags frag_keyframe+empty_moov frag.mp4
# A 3 s video track before a 1 s audio track.
$FF -f lavfi -i "$(sine 1 8000)" -f lavfi -i "color=c=red:s=16x16:d=3:r=2" -map 1:v -map 0:a \
    -c:v mpeg4 -ac 1 -c:a aac -b:a 16k video-and-audio.mp4
# No metadata at all, and an audiobook (.m4b) with a chapter track.
$FF -f lavfi -i "$(sine 0.5 16000)" -ac 1 -c:a aac -b:a 24k -map_metadata -1 -fflags +bitexact notags.m4a
printf ';FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=500\ntitle=One\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=500\nEND=1000\ntitle=Two\n' > chapters.txt
$FF -f lavfi -i "$(sine 1 8000)" -i chapters.txt -map_metadata 1 -map_chapters 1 -ac 1 -c:a aac -b:a 16k \
    -metadata title="Book" -f ipod audiobook.m4b
rm -f chapters.txt

# iTunes-style gapless information, hand-made (no iTunes here): the
# "iTunSMPB" and "iTunNORM" freeform items iTunes writes, added with mutagen
# to the AAC file without a tool item, with this stream's own figures (delay
# 1024, padding 956, 44,100 samples: 45 frames of 1024). Its edit list, which
# says the same, is blanked into a "free" atom, so the exact length can only
# come from iTunSMPB.
cp aac-notool.m4a aac-itunes.m4a
python3 - <<'PY'
from mutagen.mp4 import MP4, MP4FreeForm
f = MP4("aac-itunes.m4a")
f["----:com.apple.iTunes:iTunSMPB"] = [MP4FreeForm(
    b" 00000000 00000400 000003BC 000000000000AC44 00000000 00000000"
    b" 00000000 00000000 00000000 00000000 00000000 00000000")]
f["----:com.apple.iTunes:iTunNORM"] = [MP4FreeForm(
    b" 00000290 00000290 00000C6E 00000C6E 00000000 00000000 00007F4A 00007F4A 00000000 00000000")]
f.save()
PY
edts=$(grep -obUa edts aac-itunes.m4a | tail -n 1 | cut -d: -f1)
printf free | dd of=aac-itunes.m4a bs=1 seek="$edts" conv=notrunc status=none
