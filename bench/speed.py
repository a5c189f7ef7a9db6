#!/usr/bin/python3
"""The speed benchmark: four folders made with the Debian encoders, scanned by
sondaro-cli, mutagen, mediainfo and the open+fstat+8 KiB floor, warm and cold.

    bench/speed.py [--cli build/cli/sondaro-cli] [--before OLD-CLI] [--small 20000]
                   [--mixed 500] [--cbr 200] [--xing 50] [--work /tmp/sondaro-speed]

The folders (kept in --work and reused when their size matches):
  small  N small files (about 1 s each) of every type the encoders make
  mixed  N files of 20 s: MP3 (LAME -V2), FLAC, Ogg Vorbis, M4A (AAC), WAV
  cbr    N MP3s of 5-7 MB, 320 kbps CBR without a Xing/Info header
  xing   N MP3s of about 5 MB, LAME -V2 with its Xing header

For each folder and program: files per second warm (best of --repeat runs
after one warm-up) and cold (the files' cached pages dropped first with
posix_fadvise DONTNEED), the ratios to mutagen and to the floor, the bytes
read per file (/proc/PID/io rchar), the system calls per file (strace -c -f,
warm, less those of the same command on an empty folder) and the peak memory
(maxrss). mediainfo reads at most --mediainfo files
of each folder (it is slow); its files/s come from that share. At the end
the issue's targets, each with the figure measured in this run.
"""

import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
AUDIO_EXTENSIONS = {
    "aac", "ac3", "eac3", "ec3", "aif", "aiff", "aifc", "ape", "mac", "dff", "dsf", "dts", "flac", "mka", "webm",
    "weba", "mpa", "mp1", "mp2", "mp3", "mp4", "m4a", "m4b", "mp+", "mpc", "mpp", "ofr", "ogg", "oga", "opus", "spx",
    "tta", "vqf", "wav", "wma", "wv"}

MUTAGEN_SCRIPT = r"""
import os, sys, mutagen
count = 0
for top in sys.argv[1:]:
    for folder, subfolders, names in os.walk(top):
        subfolders.sort()
        for name in sorted(names):
            try:
                mutagen.File(os.path.join(folder, name))
            except Exception:
                pass
            count += 1
print(count)
"""


def run(command, **kwargs):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)


def say(text):
    print(text, file=sys.stderr, flush=True)


# --- making the folders ---------------------------------------------------

def make_source(path, seconds, rate=44100, channels=2):
    """A WAV of pink noise under two tones: audio the encoders cannot shrink to nothing."""
    run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", path, "synth", str(seconds),
         "pinknoise", "sine", "440", "sine", "660", "vol", "0.5"])


def encode_small_seeds(folder):
    wav = os.path.join(folder, "src.wav")
    make_source(wav, 1)
    seeds = []
    def out(name):
        seeds.append(os.path.join(folder, name))
        return seeds[-1]
    run(["lame", "--quiet", "-V2", wav, out("v2.mp3")])
    run(["lame", "--quiet", "-b", "128", wav, out("cbr.mp3")])
    run(["flac", "--silent", "-f", "-o", out("a.flac"), wav])
    run(["oggenc", "--quiet", "-o", out("a.ogg"), wav])
    run(["opusenc", "--quiet", wav, out("a.opus")])
    run(["sox", wav, "-r", "16000", "-c", "1", os.path.join(folder, "src16.wav")])
    run(["speexenc", os.path.join(folder, "src16.wav"), out("a.spx")])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", wav, "-c:a", "aac", "-b:a", "128k", out("a.m4a")])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", wav, "-c:a", "ac3", out("a.ac3")])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", wav, "-c:a", "wmav2", out("a.wma")])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", wav, "-c:a", "tta", out("a.tta")])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", wav, "-c:a", "libopus", out("a.mka")])
    run(["wavpack", "-q", "-y", wav, "-o", out("a.wv")])
    run(["mpcenc", "--silent", "--overwrite", wav, out("a.mpc")])
    run(["sox", wav, out("a.aiff")])
    shutil.copyfile(wav, out("a.wav"))
    return seeds


def encode_mixed_seeds(folder):
    wav = os.path.join(folder, "src.wav")
    make_source(wav, 20)
    seeds = [os.path.join(folder, name) for name in ("v2.mp3", "a.flac", "a.ogg", "a.m4a", "a.wav")]
    run(["lame", "--quiet", "-V2", wav, seeds[0]])
    run(["flac", "--silent", "-f", "-o", seeds[1], wav])
    run(["oggenc", "--quiet", "-o", seeds[2], wav])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", wav, "-c:a", "aac", "-b:a", "160k", seeds[3]])
    shutil.copyfile(wav, seeds[4])
    return seeds


def encode_cbr_seeds(folder):
    seeds = []
    for seconds in (130, 170):   # 5.2 and 6.8 MB at 320 kbps
        wav = os.path.join(folder, "src%d.wav" % seconds)
        make_source(wav, seconds)
        seeds.append(os.path.join(folder, "cbr%d.mp3" % seconds))
        run(["lame", "--quiet", "-b", "320", "-t", wav, seeds[-1]])   # -t: no Xing/Info header
    return seeds


def encode_xing_seeds(folder):
    wav = os.path.join(folder, "src.wav")
    make_source(wav, 300)   # about 5 MB at the bitrate -V2 gives this source
    seed = os.path.join(folder, "v2.mp3")
    run(["lame", "--quiet", "-V2", wav, seed])
    return [seed]


def make_folder(work, name, count, encode, per_folder=10000):
    folder = os.path.join(work, name)
    stamp = os.path.join(work, name + ".count")
    if os.path.isdir(folder) and os.path.exists(stamp) and open(stamp).read().strip() == str(count):
        return folder
    say("making %s: %d files" % (name, count))
    shutil.rmtree(folder, ignore_errors=True)
    with tempfile.TemporaryDirectory(dir=work) as seeds_dir:
        seeds = encode(seeds_dir)
        for i in range(count):
            seed = seeds[i % len(seeds)]
            sub = os.path.join(folder, "%03d" % (i // per_folder))
            if i % per_folder == 0:
                os.makedirs(sub, exist_ok=True)
            shutil.copyfile(seed, os.path.join(sub, "f%06d%s" % (i, os.path.splitext(seed)[1])))
    with open(stamp, "w") as f:
        f.write(str(count))
    return folder


def folder_files(folder):
    files = []
    for top, subfolders, names in os.walk(folder):
        subfolders.sort()
        for name in sorted(names):
            if os.path.splitext(name)[1][1:].lower() in AUDIO_EXTENSIONS:
                files.append(os.path.join(top, name))
    return files


# --- measuring ------------------------------------------------------------

class Bench:
    def __init__(self, args):
        self.args = args
        self.helper = os.path.join(args.work, "bench_io")
        source = os.path.join(HERE, "bench_io.cpp")
        if not os.path.exists(self.helper) or os.path.getmtime(self.helper) < os.path.getmtime(source):
            run(["c++", "-O2", "-std=c++20", "-o", self.helper, source])

    def measure(self, command, env=None):
        """(seconds, peak KiB, bytes read, exit status) of one run."""
        out = subprocess.run([self.helper, "run"] + command, check=True, capture_output=True, text=True, env=env)
        seconds, peak, read, status = out.stdout.split()
        return float(seconds), int(peak), int(read), int(status)

    def evict(self, folder):
        run([self.helper, "evict", folder])

    def count_syscalls(self, command, env=None):
        with tempfile.NamedTemporaryFile(mode="r", suffix=".strace") as trace:
            subprocess.run(["strace", "-f", "-c", "-o", trace.name] + command, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, env=env)
            for line in trace.read().splitlines():
                if line.strip().endswith("total"):
                    return int(line.split()[3])
        return None

    def syscalls(self, command, folder, env=None):
        """System calls of command on folder, less those of the same command on an empty folder
        (the program's start-up: libraries, locale)."""
        calls = self.count_syscalls(command, env)
        with tempfile.TemporaryDirectory() as empty:
            base = self.count_syscalls([empty if part == folder else part for part in command], env)
        return calls - base if calls is not None and base is not None else calls

    def tool(self, folder, files, name, command, repeat, env=None, setup=None, strace=False, cold=True):
        """Measures one program on one folder; files: how many files the command reads."""
        result = {"name": name, "files": files}
        if setup:
            setup()
        self.measure(command, env)   # warm-up (and, for the cache, its fill)
        best = None
        for _ in range(repeat):
            if setup:
                setup()
            m = self.measure(command, env)
            if best is None or m[0] < best[0]:
                best = m
        result["warm"] = files / best[0]
        result["peak_mb"] = best[1] / 1024.0
        result["bytes"] = best[2] / files
        if cold:
            self.evict(folder)
            m = self.measure(command, env)
            result["cold"] = files / m[0]
        if strace:
            calls = self.syscalls(command, folder, env)
            result["syscalls"] = calls / files if calls else None
        say("  %-26s %10.0f files/s warm%s" % (name, result["warm"],
            ("  %10.0f cold" % result["cold"]) if "cold" in result else ""))
        return result


def table(name, count, size, rows):
    floor = next((r for r in rows if r["name"] == "floor"), None)
    mutagen = next((r for r in rows if r["name"] == "mutagen"), None)
    lines = ["", "%s: %d files, %.0f MB" % (name, count, size / 1e6),
             "| program | files/s warm | x mutagen | / floor | files/s cold | bytes read/file | syscalls/file | peak MB |",
             "|---|---:|---:|---:|---:|---:|---:|---:|"]
    for r in rows:
        lines.append("| %s | %.0f | %s | %s | %s | %s | %s | %.1f |" % (
            r["name"], r["warm"],
            "%.2f" % (r["warm"] / mutagen["warm"]) if mutagen else "-",
            "%.1f" % (floor["warm"] / r["warm"]) if floor else "-",
            "%.0f" % r["cold"] if "cold" in r else "-",
            "%.0f" % r["bytes"],
            "%.1f" % r["syscalls"] if r.get("syscalls") else "-",
            r["peak_mb"]))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(SOURCE, "build", "cli", "sondaro-cli"))
    parser.add_argument("--before", help="another sondaro-cli to measure beside it (without -j and cache)")
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "sondaro-speed"))
    parser.add_argument("--small", type=int, default=20000)
    parser.add_argument("--mixed", type=int, default=500)
    parser.add_argument("--cbr", type=int, default=200)
    parser.add_argument("--xing", type=int, default=50)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--mediainfo", type=int, default=300, help="files mediainfo reads per folder")
    parser.add_argument("--memory-files", type=int, default=100000,
                        help="rows for the peak-memory run (the small folder named repeatedly)")
    parser.add_argument("--only", help="comma-separated folders to run (small,mixed,cbr,xing)")
    parser.add_argument("--make-only", action="store_true", help="make the folders and stop")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    bench = Bench(args)
    cli = os.path.abspath(args.cli)
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
    mutagen_script = os.path.join(args.work, "mutagen_scan.py")
    with open(mutagen_script, "w") as f:
        f.write(MUTAGEN_SCRIPT)

    plans = [("small", args.small, encode_small_seeds), ("mixed", args.mixed, encode_mixed_seeds),
             ("cbr", args.cbr, encode_cbr_seeds), ("xing", args.xing, encode_xing_seeds)]
    if args.only:
        plans = [p for p in plans if p[0] in args.only.split(",")]
    folders = {name: make_folder(args.work, name, count, encode) for name, count, encode in plans if count > 0}
    if args.make_only:
        return

    report = []
    results = {}
    for name, folder in folders.items():
        files = folder_files(folder)
        size = sum(os.path.getsize(f) for f in files)
        say("%s: %d files, %.0f MB" % (name, len(files), size / 1e6))
        cache_home = os.path.join(args.work, "cache-" + name)
        shutil.rmtree(cache_home, ignore_errors=True)
        cache_env = dict(os.environ, XDG_CACHE_HOME=cache_home)
        scan = ["-r", "-f", "tsv", folder]
        rows = []
        n = len(files)
        if args.before:
            rows.append(bench.tool(folder, n, "before", [os.path.abspath(args.before)] + scan,
                                   args.repeat, strace=True))
        rows.append(bench.tool(folder, n, "sondaro-cli -j 1", [cli, "-j", "1"] + scan, args.repeat, strace=True))
        rows.append(bench.tool(folder, n, "sondaro-cli", [cli] + scan, args.repeat, strace=True))
        rows.append(bench.tool(folder, n, "sondaro-cli --cache (rescan)", [cli, "--cache"] + scan, args.repeat,
                               env=cache_env, strace=True))
        rows.append(bench.tool(folder, n, "mutagen", [python, mutagen_script, folder], 1))
        share = files[: args.mediainfo]
        rows.append(bench.tool(folder, len(share), "mediainfo (%d files)" % len(share),
                               ["mediainfo", "--Output=JSON"] + share, 1, cold=False))
        if name == "cbr":
            rows.append(bench.tool(folder, n, "cat", ["sh", "-c", "find \"$0\" -type f -print0 | xargs -0 cat",
                                                      folder], args.repeat))
        rows.append(bench.tool(folder, n, "floor", [bench.helper, "floor", folder], args.repeat, strace=True))
        results[name] = {r["name"]: r for r in rows}
        report.append(table(name, n, size, rows))

    memory = None
    if "small" in folders and args.memory_files > 0:
        times = max(1, math.ceil(args.memory_files / max(1, len(folder_files(folders["small"])))))
        m = bench.measure([cli, "-r", "-f", "tsv"] + [folders["small"]] * times)
        memory = (times * len(folder_files(folders["small"])), m[1] / 1024.0)

    print("\n".join(report))
    print("\nTargets (warm unless said; ratios from this run):")

    def target(text, value, goal, higher=True):
        ok = value is not None and (value >= goal if higher else value <= goal)
        print("  [%s] %s: %s (goal %s %s)" % ("met" if ok else "NOT met", text,
              "%.2f" % value if value is not None else "-", ">=" if higher else "<=", goal))

    def get(folder, program, key="warm"):
        return results.get(folder, {}).get(program, {}).get(key)

    if "small" in results:
        target("small files, sondaro-cli files/s", get("small", "sondaro-cli"), 30000)
        target("small files, floor / sondaro-cli", get("small", "floor") / get("small", "sondaro-cli"), 3, False)
        if args.before:
            target("small files cold, sondaro-cli / before", get("small", "sondaro-cli", "cold") /
                   get("small", "before", "cold"), 1.5)
        target("small files, cache rescan files/s", get("small", "sondaro-cli --cache (rescan)"), 100000)
    if "mixed" in results:
        target("mixed folder, sondaro-cli / mutagen", get("mixed", "sondaro-cli") / get("mixed", "mutagen"), 8)
    if "xing" in results:
        target("MP3 with Xing, sondaro-cli / mutagen", get("xing", "sondaro-cli") / get("xing", "mutagen"), 2)
    if "cbr" in results:
        target("MP3 without VBR header, sondaro-cli / cat", get("cbr", "sondaro-cli") / get("cbr", "cat"), 1)
    for name in results:
        for program in ("sondaro-cli -j 1", "sondaro-cli"):
            limit = 12 if name in ("cbr", "xing") else 10
            calls = get(name, program, "syscalls")
            if calls is not None:
                target("%s, %s syscalls/file" % (name, program), calls, limit, False)
    if memory:
        target("peak MB for %d rows" % memory[0], memory[1], 150, False)


if __name__ == "__main__":
    main()
