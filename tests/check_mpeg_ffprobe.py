#!/usr/bin/env python3
"""Cross-checks the MPEG rows against ffprobe: sample rate and channels
equal, length within 1 %, for every MPEG audio fixture.

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
    off = abs(row["Duration"] - length) / length * 100
    ok = row["SampleRate"] == rate and row["Channels"] == channels and off <= 1.0
    bad += not ok
    print(f'{"ok  " if ok else "BAD "} {row["FileName"]:32} {row["SampleRate"]:>6}/{rate:<6} '
          f'{row["Channels"]}/{channels}  {row["Duration"]:.4f}/{length:.4f} s ({off:.2f} %)')
print(f"{len(rows)} files, {bad} disagree")
sys.exit(1 if bad else 0)
