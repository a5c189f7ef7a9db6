#!/usr/bin/env python3
"""Cross-checks the MPEG rows against ffprobe: sample rate and channels
equal, length within 1 %, for every MPEG audio fixture. A row with an exact
length (durationSamples, from the LAME or ffmpeg tag's delay and padding) is
compared sample for sample with ffmpeg's full decode, which trims the same
delay and padding; ffprobe's stream duration counts whole frames.

Usage: tests/check_mpeg_ffprobe.py [path/to/sondaro-cli] [folder]
Exit status 1 when any file disagrees.
"""
import json
import pathlib
import subprocess
import sys

root = pathlib.Path(__file__).resolve().parent.parent
cli = sys.argv[1] if len(sys.argv) > 1 else str(root / "build/cli/sondaro-cli")
folder = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else root / "tests/files/mp3"

rows = json.loads(subprocess.run([cli, "-f", "json", "-c", "all", str(folder)],
                                 capture_output=True, text=True, check=True).stdout)["files"]
bad = 0
for row in sorted(rows, key=lambda r: r["FileName"]):
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
         "stream=sample_rate,channels,duration", "-of", "json", row["FullPath"]],
        capture_output=True, text=True, check=True).stdout)["streams"][0]
    rate, channels, length = int(probe["sample_rate"]), int(probe["channels"]), float(probe["duration"])
    if "durationSamples" in row:
        pcm = subprocess.run(["ffmpeg", "-v", "error", "-i", row["FullPath"], "-map", "0:a:0", "-ac", "1",
                              "-f", "s16le", "-"], capture_output=True, check=True).stdout
        decoded = len(pcm) // 2
        ok = row["SampleRate"] == rate and row["Channels"] == channels and row["durationSamples"] == decoded
        figures = f'{row["durationSamples"]}/{decoded} samples (full decode)'
    else:
        off = abs(row["Duration"] - length) / length * 100
        ok = row["SampleRate"] == rate and row["Channels"] == channels and off <= 1.0
        figures = f'{row["Duration"]:.4f}/{length:.4f} s ({off:.2f} %)'
    bad += not ok
    print(f'{"ok  " if ok else "BAD "} {row["FileName"]:32} {row["SampleRate"]:>6}/{rate:<6} '
          f'{row["Channels"]}/{channels}  {figures}')
print(f"{len(rows)} files, {bad} disagree")
sys.exit(1 if bad else 0)
