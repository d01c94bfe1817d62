#!/usr/bin/python3
"""Speed of the AC-3 encoder against ffmpeg's, on the same 16-bit PCM, in one run.

The input is the music sample of scripts/make-sample.sh looped to 60 s,
stereo, at 44.1 and 48 kHz, coded at two bit rates. This encoder is timed by
ac3_encode_wav itself (thread CPU time of configure, encode and flush on PCM
already in memory, best of its --repeat runs). ffmpeg's encoder (`-c:a ac3`,
its default, floating point) is timed by ffmpeg's -benchmark user time with
output to the null muxer, less that of the same command with `-c:a pcm_f32le`:
what is left is the encoder alone, without reading and parsing the WAV or
converting its samples to floating point. Rounds alternate the three runs,
so a busy spell on the machine hits them alike; each figure is the best round.

Speeds are multiples of real time (audio seconds per CPU second); the ratio
is ours / ffmpeg's, and the target is at least 0.5. Nothing is asserted: the
exit status only says whether the runs worked.

usage: scripts/bench-ac3.py [--rounds N] [--seconds S] [--markdown PATH]...
                            [--encoder BIN] [--build-dir DIR]
Needs: sox, ffmpeg (scripts/setup.sh installs them).
"""

import argparse
import datetime
import os
import re
import subprocess
import sys
import tempfile

from ac3_encode_tool import ROOT, build
RATES = [44100, 48000]
BIT_RATES = [192000, 384000]
SECONDS = 60
TARGET_RATIO = 0.5
OURS_REPEATS = 3  # in-process runs of ac3_encode_wav per round


def run(cmd):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def make_inputs(work, seconds):
    sample = os.path.join(work, "sample.wav")
    run([os.path.join(ROOT, "scripts", "make-sample.sh"), sample])
    inputs = {}
    for rate in RATES:
        path = os.path.join(work, "music-%d.wav" % rate)
        run(["sox", "-D", "-V1", sample, "-b", "16", path, "repeat", str(-(-seconds // 30) - 1), "trim", "0",
             str(seconds), "rate", "-v", str(rate)])
        inputs[rate] = path
    return inputs


def ours_seconds(encoder, wav, out, bit_rate):
    line = run([encoder, wav, out, "--bit-rate", str(bit_rate), "--repeat", str(OURS_REPEATS)]).stdout
    fields = dict(re.findall(r"(\w+) ([\d.]+)", line))
    return float(fields["cpu_seconds"]), float(fields["audio_seconds"])


def ffmpeg_user_seconds(wav, codec_args):
    cmd = ["ffmpeg", "-nostdin", "-hide_banner", "-benchmark", "-threads", "1", "-i", wav] + codec_args + ["-f",
                                                                                                           "null", "-"]
    err = run(cmd).stderr
    found = re.findall(r"bench: utime=([\d.]+)s", err)
    if not found:
        raise RuntimeError("no -benchmark line from: " + " ".join(cmd))
    return float(found[-1])


def machine():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--seconds", type=int, default=SECONDS, help="audio per run (the 30 s sample looped)")
    parser.add_argument("--markdown", action="append", default=[], help="write the table here too (repeatable)")
    parser.add_argument("--encoder", help="ac3_encode_wav to use (default: build it in --build-dir)")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "native"))
    args = parser.parse_args()
    encoder = os.path.abspath(args.encoder) if args.encoder else build(args.build_dir)

    rows = []
    with tempfile.TemporaryDirectory(prefix="bench-ac3-") as work:
        inputs = make_inputs(work, args.seconds)
        for rate in RATES:
            for bit_rate in BIT_RATES:
                wav = inputs[rate]
                ours, theirs, baseline = [], [], []
                audio = None
                for _ in range(max(1, args.rounds)):
                    seconds, audio = ours_seconds(encoder, wav, os.path.join(work, "out.ac3"), bit_rate)
                    ours.append(seconds)
                    theirs.append(ffmpeg_user_seconds(wav, ["-c:a", "ac3", "-b:a", str(bit_rate)]))
                    baseline.append(ffmpeg_user_seconds(wav, ["-c:a", "pcm_f32le"]))
                ffmpeg_encode = min(theirs) - min(baseline)
                ours_x = audio / min(ours)
                theirs_x = audio / ffmpeg_encode if ffmpeg_encode > 0 else float("inf")
                rows.append((rate, bit_rate, min(ours), ours_x, ffmpeg_encode, theirs_x, min(baseline),
                             ours_x / theirs_x))
                print("%d Hz %d kbps: ours %.1fx, ffmpeg %.1fx" % (rate, bit_rate // 1000, ours_x, theirs_x),
                      file=sys.stderr)

    head = ["rate", "kbps", "ours CPU s", "ours ×RT", "ffmpeg CPU s", "ffmpeg ×RT", "ffmpeg baseline s",
            "ours / ffmpeg", "target ≥ %.1f" % TARGET_RATIO]
    lines = [[str(r[0]), str(r[1] // 1000), "%.4f" % r[2], "%.1f" % r[3], "%.4f" % r[4], "%.1f" % r[5],
              "%.4f" % r[6], "%.3f" % r[7], "met" if r[7] >= TARGET_RATIO else "missed"] for r in rows]
    widths = [max(len(x) for x in col) for col in zip(head, *lines)]
    for cells in [head] + lines:
        print("  ".join(c.ljust(w) for c, w in zip(cells, widths)).rstrip())

    version = " ".join(run(["ffmpeg", "-version"]).stdout.split()[:3])
    text = "\n".join(
        ["<!-- scripts/bench-ac3.py --rounds %d, %s -->" % (args.rounds,
                                                            datetime.datetime.now().strftime("%Y-%m-%d %H:%M")),
         "",
         "%d s of stereo 16-bit music; best of %d rounds; %s; %s. "
         "ffmpeg's time is its `-c:a ac3` run less its `-c:a pcm_f32le` baseline (user time of each)."
         % (args.seconds, args.rounds, version, machine()),
         "",
         "| " + " | ".join(head) + " |",
         "|" + "|".join("---:" for _ in head[:-1]) + "|---|"]
        + ["| " + " | ".join(cells) + " |" for cells in lines] + [""])
    for path in args.markdown:
        with open(path, "w") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
