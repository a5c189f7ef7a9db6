#!/usr/bin/env python3
"""Compares the analyser's length, sample rate and channels with ffprobe's.

For every real-encoder file the FLAC, Ogg Vorbis, Musepack and WavPack tests
use (tests/files/xiph/*.flac and *.ogg, tests/files/lossless/*.wv and *.mpc,
tests/files/wavpack-modes/*.wv), runs sondaro-cli's JSON output and ffprobe,
and prints one line per file. Length must agree within 1%; where ffprobe has
no length in the container (streamed FLAC and WavPack), the end of its last
audio packet is taken. ffprobe counts DSD audio in bytes of 8 one-bit
samples, so a 1-bit row's rate is compared with 8 times ffprobe's.

Usage: tests/check_ffprobe.py [path/to/sondaro-cli]   (default build/cli/sondaro-cli)
Exit status 0 when every file agrees.
"""
import glob
import json
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PATTERNS = ["tests/files/xiph/*.flac", "tests/files/xiph/*.ogg", "tests/files/lossless/*.wv",
            "tests/files/lossless/*.mpc", "tests/files/wavpack-modes/*.wv"]


def ffprobe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                          "format=duration:stream=sample_rate,channels", "-of", "json", path],
                         capture_output=True, text=True, check=True).stdout
    info = json.loads(out)
    stream = info["streams"][0]
    duration = info.get("format", {}).get("duration")
    source = "container"
    if duration in (None, "N/A"):
        packets = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                                  "packet=pts_time,duration_time", "-of", "csv=p=0", path],
                                 capture_output=True, text=True, check=True).stdout.split()
        pts, length = packets[-1].split(",")[:2]
        duration = float(pts) + float(length)
        source = "last packet"
    return float(duration), int(stream["sample_rate"]), int(stream["channels"]), source


def main():
    cli = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/cli/sondaro-cli")
    files = sorted(f for p in PATTERNS for f in glob.glob(os.path.join(ROOT, p)))
    rows = json.loads(subprocess.run([cli, "-f", "json"] + files, capture_output=True, text=True).stdout)["files"]
    by_path = {os.path.abspath(r["FullPath"]): r for r in rows}
    failures = 0
    checked = 0
    for path in files:
        name = os.path.relpath(path, os.path.join(ROOT, "tests/files"))
        row = by_path[os.path.abspath(path)]
        if row["SampleRate"] == 0:
            print(f"skip  {name}: not read by the analyser ({row['EncoderInfo']})")
            continue
        length, rate, channels, source = ffprobe(path)
        our_rate = row["SampleRate"]
        rate_ok = our_rate == rate or (row["BitsPerSample"] == 1 and our_rate == 8 * rate)
        length_ok = abs(row["Duration"] - length) <= 0.01 * length
        ok = rate_ok and length_ok and row["Channels"] == channels
        failures += not ok
        checked += 1
        print(f"{'ok   ' if ok else 'FAIL '} {name}: length {row['Duration']:.6f} / {length:.6f} ({source}), "
              f"rate {our_rate} / {rate}, channels {row['Channels']} / {channels}")
    print(f"{checked} files compared with ffprobe, {failures} disagree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
