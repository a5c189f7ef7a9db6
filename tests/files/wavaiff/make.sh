#!/bin/sh
# Rebuilds the WAV, AIFF, AC-3 and DTS fixtures from sine tones with sox and
# ffmpeg (Debian 12: SoX 14.4.2, FFmpeg 5.1). Run from anywhere:
#   sh tests/files/wavaiff/make.sh
# Every file is short (a tenth of a second to one second) to keep the set small.
set -eu
cd "$(dirname "$0")"

synth() {   # synth <rate> <channels> <seconds> <sox output options...> <file>
    rate=$1; channels=$2; seconds=$3; shift 3
    sox -D -n -r "$rate" -c "$channels" "$@" synth "$seconds" sine 440
}
ff() {      # ff <rate> <seconds> <ffmpeg output options...> <file>
    rate=$1; seconds=$2; shift 2
    ffmpeg -hide_banner -loglevel error -y \
        -f lavfi -i "sine=frequency=440:sample_rate=$rate:duration=$seconds" "$@"
}

# --- WAV written by sox: canonical "fmt " then "data", plus "fact" for
# everything that is not plain PCM.
synth 8000 1 0.5 -b 8 -e unsigned-integer sox-u8-mono-8k.wav
synth 22050 2 0.25 -b 16 -e signed-integer sox-s16-stereo-22k.wav
synth 16000 1 0.25 -b 24 -e signed-integer sox-s24-mono-16k.wav      # extensible
synth 8000 1 0.25 -b 32 -e signed-integer sox-s32-mono-8k.wav         # extensible
synth 8000 1 0.25 -b 32 -e floating-point sox-float-mono-8k.wav
synth 8000 1 1 -e ms-adpcm sox-msadpcm-mono-8k.wav
synth 8000 1 1 -e ima-adpcm sox-imaadpcm-mono-8k.wav
synth 8000 1 1 -e gsm-full-rate sox-gsm-mono-8k.wav
synth 8000 1 0.5 -e a-law sox-alaw-mono-8k.wav
synth 8000 1 0.5 -e u-law sox-ulaw-mono-8k.wav

# --- WAV written by ffmpeg: a "LIST" chunk stands between "fmt " and "data".
ff 11025 0.25 -c:a pcm_s16le ffmpeg-s16-list-mono-11k.wav
ff 8000 0.25 -c:a pcm_f32le -ac 2 ffmpeg-f32-stereo-8k.wav
ff 8000 0.1 -c:a pcm_s16le -ac 6 ffmpeg-s16-51-8k.wav                 # extensible
ff 22050 0.5 -c:a adpcm_ms -ac 2 ffmpeg-adpcm-ms-stereo-22k.wav
ff 16000 0.5 -c:a adpcm_ima_wav ffmpeg-adpcm-ima-mono-16k.wav
ff 8000 0.5 -c:a pcm_alaw ffmpeg-alaw-mono-8k.wav
ff 8000 0.5 -c:a pcm_mulaw ffmpeg-mulaw-mono-8k.wav
ff 8000 1 -c:a libgsm_ms ffmpeg-gsm-ms-mono-8k.wav
ff 22050 1 -c:a libmp3lame -b:a 32k ffmpeg-mp3-mono-22k.wav
# RF64 (sizes in "ds64") and an extensible 24-bit 96 kHz file.
ff 8000 0.25 -c:a pcm_s16le -rf64 always ffmpeg-rf64-s16-mono-8k.wav
ff 96000 0.05 -c:a pcm_s24le ffmpeg-s24-mono-96k.wav
# Written to a pipe: the RIFF and data sizes stay 0xFFFFFFFF.
ff 8000 0.25 -c:a pcm_s16le -f wav - > ffmpeg-pipe-s16-mono-8k.wav

# --- AIFF: sox puts a "COMT" chunk before "COMM", ffmpeg a "NAME" chunk when
# the file has a title; without metadata ffmpeg writes "COMM" first.
synth 8000 1 0.25 -b 16 -e signed-integer sox-s16-mono-8k.aiff
synth 11025 2 0.25 -b 8 -e signed-integer sox-s8-stereo-11k.aif
synth 44100 2 0.05 -b 24 -e signed-integer sox-s24-stereo-44k.aiff
ff 22050 0.25 -c:a pcm_s16be -ac 2 -metadata title=Tone ffmpeg-s16-name-stereo-22k.aiff
ff 16000 0.25 -c:a pcm_s32be ffmpeg-s32-mono-16k.aif
# AIFF-C (form type "AIFC"): sox writes "NONE" and "fl32" with their names,
# ffmpeg "sowt" (little-endian PCM), "alaw", "ulaw" and "ima4" without one.
synth 8000 1 0.25 -b 8 -e signed-integer sox-s8-mono-8k.aifc
synth 8000 1 0.25 -b 32 -e floating-point sox-fl32-mono-8k.aifc
ff 8000 0.25 -c:a pcm_alaw -f aiff ffmpeg-alaw-mono-8k.aifc
ff 8000 0.25 -c:a pcm_mulaw -f aiff ffmpeg-ulaw-mono-8k.aifc
ff 8000 0.25 -c:a pcm_s16le -f aiff ffmpeg-sowt-mono-8k.aif
ff 8000 0.5 -c:a adpcm_ima_qt -f aiff ffmpeg-ima4-mono-8k.aif

# --- AC-3 elementary streams.
ff 32000 0.25 -c:a ac3 -ac 1 -b:a 64k ffmpeg-mono-32k-64.ac3
ff 44100 0.25 -c:a ac3 -ac 2 -b:a 192k ffmpeg-stereo-44k-192.ac3
ff 48000 0.2 -c:a ac3 -ac 6 -b:a 448k ffmpeg-51-48k-448.ac3
ff 48000 0.2 -c:a ac3 -ac 4 -b:a 256k ffmpeg-quad-48k-256.ac3
ff 32000 0.2 -c:a ac3 -ac 3 -b:a 96k ffmpeg-3ch-32k-96.ac3

# --- DTS core streams from ffmpeg's experimental encoder.
ff 48000 0.1 -c:a dca -strict -2 -ac 2 ffmpeg-stereo-48k.dts
ff 44100 0.1 -c:a dca -strict -2 -ac 1 -b:a 768k ffmpeg-mono-44k-768.dts
ff 48000 0.1 -c:a dca -strict -2 -channel_layout '5.1(side)' ffmpeg-51-48k.dts
ff 32000 0.1 -c:a dca -strict -2 -channel_layout 'quad(side)' -b:a 512k ffmpeg-quad-32k-512.dts
