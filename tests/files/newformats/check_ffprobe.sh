#!/bin/bash
# Compares every real file of this folder with ffprobe: the length within 1%,
# the sample rate and the channel count exactly, as sondaro-cli reports them.
#   check_ffprobe.sh [path to sondaro-cli]
# Where the two count differently by design, the peer's figure is converted
# and the line says so: ffmpeg gives DSD rates in bytes per second per
# channel (x 8), and the AC-3 rows do not count the LFE channel (- 1).
# ffprobe knows no length for Musepack SV8; mediainfo's is used there.
set -euo pipefail
cd "$(dirname "$0")"
cli=${1:-../../../build/cli/sondaro-cli}
"$cli" -f json . > /tmp/sondaro-check-$$.json
python3 - /tmp/sondaro-check-$$.json <<'PY'
import json, subprocess, sys
rows = json.load(open(sys.argv[1]))["files"]
failed = 0
for row in sorted(rows, key=lambda r: r["FileName"]):
    name = row["FileName"]
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries",
         "format=duration:stream=codec_type,codec_name,sample_rate,channels,channel_layout",
         "-of", "json", name], capture_output=True, text=True, check=True).stdout)
    audio = [s for s in probe["streams"] if s.get("codec_type") == "audio"][0]
    notes = []
    length = probe["format"].get("duration")
    if length is None:
        ms = subprocess.run(["mediainfo", "--Inform=Audio;%Duration%", name],
                            capture_output=True, text=True).stdout.strip()
        length = float(ms) / 1000
        notes.append("length by mediainfo")
    length = float(length)
    rate = int(audio["sample_rate"])
    channels = int(audio["channels"])
    if audio["codec_name"].startswith("dsd_"):
        rate *= 8
        notes.append("rate x8")
    if audio["codec_name"] in ("ac3", "eac3") and ".1" in audio.get("channel_layout", ""):
        channels -= 1
        notes.append("LFE not counted")
    ok = (abs(row["Duration"] - length) <= 0.01 * length and row["SampleRate"] == rate
          and row["Channels"] == channels)
    failed += not ok
    print(f'{"ok  " if ok else "FAIL"} {name:24} length {row["Duration"]:.4f}/{length:.4f} s'
          f'  rate {row["SampleRate"]}/{rate}  channels {row["Channels"]}/{channels}'
          + (f'  ({", ".join(notes)})' if notes else ""))
print(f"{len(rows) - failed} of {len(rows)} files agree with the peer")
sys.exit(1 if failed else 0)
PY
status=$?
rm -f /tmp/sondaro-check-$$.json
exit $status
