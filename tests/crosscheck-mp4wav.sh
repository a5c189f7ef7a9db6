#!/bin/sh
# Compares the length, sample rate and channels sondaro-cli gives for the MP4,
# AAC, WAV and AIFF fixtures with ffprobe's figures for the audio stream.
#   sh tests/crosscheck-mp4wav.sh [path/to/sondaro-cli]
# One line per file: OK or DIFF, then ours and ffprobe's values. The row's
# length of an MP4 is the media header's, encoder priming included, so
# ffprobe reads MP4 files with -ignore_editlist 1 (without it ffprobe trims
# the priming the edit list names). A length agrees within 5 ms; a raw AAC
# (ADTS) length is an estimate from the bitrate on both sides, within 25 ms.
# Exits 1 when any file differs.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-"$here/../build/cli/sondaro-cli"}
status=0
for file in "$here"/files/mp4aac/*.m4a "$here"/files/mp4aac/*.m4b "$here"/files/mp4aac/*.mp4 \
            "$here"/files/mp4aac/*.aac "$here"/files/wavaiff/*.wav "$here"/files/wavaiff/*.aif \
            "$here"/files/wavaiff/*.aiff "$here"/files/wavaiff/*.aifc; do
    [ -e "$file" ] || continue
    ours=$("$cli" -f json "$file" | python3 -c '
import json, sys
f = json.load(sys.stdin)["files"][0]
print(f["Duration"], f["SampleRate"], f["Channels"], f["EncoderInfo"] == "File could not be scanned")')
    case "$file" in
        *.m4a|*.m4b|*.mp4) probe="ffprobe -ignore_editlist 1"; tolerance=0.005 ;;
        *.aac) probe=ffprobe; tolerance=0.025 ;;
        *) probe=ffprobe; tolerance=0.005 ;;
    esac
    theirs=$($probe -v error -select_streams a:0 -show_entries stream=duration,sample_rate,channels \
        -show_entries format=duration -of json "$file" | python3 -c '
import json, sys
j = json.load(sys.stdin)
s = j["streams"][0]
d = s.get("duration") or j["format"].get("duration") or "0"
print(d, s.get("sample_rate", "0"), s.get("channels", 0))')
    verdict=$(python3 -c '
import sys
tolerance, od, orate, och, unscanned, td, trate, tch = sys.argv[1:9]
ok = unscanned == "False" and abs(float(od) - float(td)) <= float(tolerance) and int(orate) == int(trate) and int(och) == int(tch)
print("OK  " if ok else "DIFF")' $tolerance $ours $theirs)
    [ "$verdict" = "OK  " ] || status=1
    printf '%s %-36s ours %-8.4f %6s Hz %s ch | ffprobe %-8.4f %6s Hz %s ch\n' "$verdict" \
        "$(basename "$file")" $(echo $ours | cut -d' ' -f1-3) $theirs
done
exit $status
