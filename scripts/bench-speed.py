#!/usr/bin/python3
"""Speed of srconv (this converter's CLI) against libsoxr and sox, side by side.

Builds the native tree, compiles the two helper programs of bench/ against it,
converts the same 10 minutes of 16-bit stereo noise with every resampler for
each rate pair (several runs each, medians of the process's CPU time, input
from a file, output to /dev/null), measures configure's time and the
converter's memory, measures the frequency responses, times the FFT
convolution against FFTW's r2c/c2r and the converter built as a 32-bit
Windows program (as in the DLL) under Wine against the native build, and
writes docs/speed.md, docs/speed-ratios.png and docs/frequency-response.png.

usage: scripts/bench-speed.py [--runs N] [--minutes M] [--shared-machine]
                              [--wine-baseline EXE [--baseline-name TEXT]]
Needs: libsoxr-dev, libfftw3-dev, sox, wine, mingw-w64, python3-matplotlib,
python3-numpy (all installed by scripts/setup.sh).
"""

import argparse
import os
import random
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "native")
WIN32_BUILD = os.path.join(ROOT, "build", "win32")
WORK = os.path.join(BUILD, "bench-speed")
# Audio seconds per converter_bench run: Wine's thread clock counts in 10 ms
# steps, so a run must take seconds for 1 % resolution.
WINE_SECONDS = 300
PAIRS = [(44100, 48000), (48000, 44100), (44100, 22050), (22050, 44100), (44100, 44100)]


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


def build():
    run(["cmake", "--preset", "native"], cwd=ROOT, stdout=subprocess.DEVNULL)
    run(["cmake", "--build", BUILD, "-j2", "--target", "srconv", "resample", "bytefifo"], cwd=ROOT,
        stdout=subprocess.DEVNULL)
    os.makedirs(WORK, exist_ok=True)
    flags = ["g++", "-std=c++17", "-O2", "-ffp-contract=off"]
    run(flags + [os.path.join(ROOT, "bench", "soxr_convert.cpp"), "-lsoxr", "-o", os.path.join(WORK, "soxr_convert")])
    run(flags + ["-I" + ROOT, os.path.join(ROOT, "bench", "converter_probe_tool.cpp"),
                 os.path.join(BUILD, "resample", "libresample.a"), os.path.join(BUILD, "fifo", "libbytefifo.a"),
                 "-lsoxr", "-o", os.path.join(WORK, "converter_probe_tool")])
    run(flags + ["-DWITH_FFTW", "-I" + ROOT, os.path.join(ROOT, "bench", "fft_bench.cpp"),
                 os.path.join(BUILD, "resample", "libresample.a"), "-lfftw3", "-o", os.path.join(WORK, "fft_bench")])
    run(["cmake", "--build", BUILD, "-j2", "--target", "converter_bench"], cwd=ROOT, stdout=subprocess.DEVNULL)
    run(["cmake", "--preset", "win32"], cwd=ROOT, stdout=subprocess.DEVNULL)
    run(["cmake", "--build", WIN32_BUILD, "-j2", "--target", "converter_bench"], cwd=ROOT, stdout=subprocess.DEVNULL)


def noise_file(rate, minutes):
    """16-bit stereo white noise at half of full scale, the same samples for every rate."""
    path = os.path.join(WORK, "noise-%d-%dmin.raw" % (rate, minutes))
    frames = rate * 60 * minutes
    if not os.path.exists(path) or os.path.getsize(path) != frames * 4:
        rng = random.Random(12345)
        chunk = 1 << 20
        with open(path, "wb") as f:
            left = frames * 2
            while left > 0:
                n = min(chunk, left)
                samples = [rng.randint(-16384, 16383) for _ in range(n)]
                f.write(b"".join(s.to_bytes(2, "little", signed=True) for s in samples))
                left -= n
    return path


def cpu_seconds(cmd, input_path):
    """User + system CPU time of one run of cmd (all its threads), and wall time."""
    with open(input_path, "rb") as src, open(os.devnull, "wb") as sink:
        start = time.monotonic()
        proc = subprocess.Popen(cmd, stdin=src, stdout=sink)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.monotonic() - start
    if status != 0:
        sys.exit("failed: " + " ".join(cmd))
    return usage.ru_utime + usage.ru_stime, wall


def commands(a, b):
    srconv = [os.path.join(BUILD, "srconv", "srconv"), "--in-rate", str(a), "--out-rate", str(b),
              "--channels", "2", "--bits", "16"]
    soxr = os.path.join(WORK, "soxr_convert")
    sox = ["sox", "--single-threaded", "-D", "-t", "raw", "-r", str(a), "-e", "signed", "-b", "16", "-c", "2", "-",
           "-t", "raw", "-r", str(b), "-e", "signed", "-b", "16", "-c", "2", "-", "rate", "-v", "-b", "99.7", str(b)]
    return {
        "srconv": srconv,
        "soxr VHQ pb 0.997": [soxr, str(a), str(b), "2", "0.997"],
        "soxr VHQ default": [soxr, str(a), str(b), "2"],
        "sox rate -v -b 99.7": sox,
    }


def measure_speeds(runs, minutes):
    rows = []
    audio_seconds = minutes * 60.0
    for a, b in PAIRS:
        path = noise_file(a, minutes)
        cmds = commands(a, b)
        times = {name: [] for name in cmds}
        for _ in range(runs):  # interleaved, so that load changes hit every resampler alike
            for name, cmd in cmds.items():
                times[name].append(cpu_seconds(cmd, path)[0])
        medians = {name: statistics.median(t) for name, t in times.items()}
        rows.append((a, b, medians))
        print("%5d -> %5d  " % (a, b) + "  ".join("%s %.3fs" % (n, t) for n, t in medians.items()), flush=True)
    return rows, audio_seconds


def probe(args):
    out = subprocess.run([os.path.join(WORK, "converter_probe_tool")] + args, check=True, capture_output=True,
                         text=True).stdout
    return [line.split(",") for line in out.strip().splitlines()]


def plot_ratios(rows):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np
    names = ["soxr VHQ pb 0.997", "soxr VHQ default", "sox rate -v -b 99.7"]
    labels = ["%d→%d" % (a, b) for a, b, _ in rows]
    x = np.arange(len(rows))
    fig, ax = plt.subplots(figsize=(9, 4.5))
    for i, name in enumerate(names):
        ratios = [m[name] / m["srconv"] for _, _, m in rows]
        ax.bar(x + (i - 1) * 0.27, ratios, 0.27, label="vs " + name)
    ax.axhline(1.0, color="black", linewidth=0.8)
    ax.set_xticks(x, labels)
    ax.set_ylabel("speed of srconv / speed of reference")
    ax.set_title("srconv against libsoxr and sox (16-bit stereo noise, CPU time, median)")
    ax.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(ROOT, "docs", "speed-ratios.png"), dpi=110)


def plot_response(responses):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, axes = plt.subplots(2, 2, figsize=(11, 7.5))
    for col, ((a, b), rows) in enumerate(responses.items()):
        hz = [float(r[0]) for r in rows]
        ours = [float(r[1]) for r in rows]
        soxr = [float(r[2]) for r in rows]
        top, zoom = axes[0][col], axes[1][col]
        top.plot(hz, ours, label="this converter", linewidth=1.2)
        top.plot(hz, soxr, label="libsoxr VHQ pb 0.997", linewidth=1.0, linestyle="--")
        top.set_ylim(-200, 10)
        top.set_title("%d → %d Hz: whole band" % (a, b))
        top.set_xlabel("output frequency (Hz; above %d Hz: alias or image)" % (min(a, b) // 2))
        top.set_ylabel("level (dB re input tone)")
        top.grid(True, alpha=0.3)
        top.legend(loc="lower left")
        edge = min(a, b) / 2.0
        zoom.plot(hz, ours, marker=".", linewidth=1.2, label="this converter")
        zoom.plot(hz, soxr, marker=".", linewidth=1.0, linestyle="--", label="libsoxr VHQ pb 0.997")
        zoom.set_xlim(edge - 1500, edge + 500)
        zoom.set_ylim(-200, 10)
        zoom.set_title("transition band")
        zoom.set_xlabel("Hz")
        zoom.grid(True, alpha=0.3)
    fig.tight_layout()
    fig.savefig(os.path.join(ROOT, "docs", "frequency-response.png"), dpi=110)


def fft_timing():
    """Microseconds per channel: {("ours" | "ours-sse2" | "fftw", channels): time}."""
    # Each process lands its buffers at other addresses, and a transform's
    # time swings by up to half between processes (cache-set conflicts), for
    # FFTW as for ours: the best of several processes is the comparable one.
    times = {}
    for _ in range(5):
        out = subprocess.run([os.path.join(WORK, "fft_bench"), "32768", "400"], check=True, capture_output=True,
                             text=True).stdout
        for line in out.strip().splitlines():
            words = line.split()  # ours  n = 32768  one channel: 596.1 us per channel
            key = (words[0], 1 if words[4] == "one" else 2)
            times[key] = min(times.get(key, float("inf")), float(words[6]))
    return times


def converter_speeds(cmd, env=None):
    """converter_bench --ours-only, one run: {(in, out): × real time}, thread CPU time."""
    out = subprocess.run(cmd + ["--seconds", str(WINE_SECONDS), "--repeats", "1", "--ours-only"], check=True,
                         capture_output=True, text=True, env=dict(os.environ, **(env or {}))).stdout
    speeds = {}
    for line in out.splitlines():
        words = line.replace("|", " ").split()
        if len(words) == 4 and words[1] == "->" and words[3].endswith("x"):
            speeds[(int(words[0]), int(words[2]))] = float(words[3][:-1])
    return speeds


def wine_comparison(runs, baseline):
    """The converter as built for the DLL (32-bit) under Wine, on its widest lanes and forced onto the SSE2
    lanes, against the native build, in one run: {name: {(in, out): × real time}}, best of runs, the
    programs taking turns so that a change of load hits every one alike."""
    wine_run = os.path.join(ROOT, "cmake", "wine-run.sh")
    wine_bench = [wine_run, os.path.join(WIN32_BUILD, "bin", "converter_bench.exe")]
    sse2 = {"RESAMPLE_FORCE_SSE2": "1"}
    programs = {"native": ([os.path.join(BUILD, "bench", "converter_bench")], None),
                "wide": (wine_bench, None), "sse2": (wine_bench, sse2)}
    if baseline:
        # Outside the tree: it runs in the tree's prefix all the same.
        programs["earlier"] = ([wine_run, os.path.abspath(baseline)],
                               dict(sse2, RMP_WINEPREFIX=os.path.join(WIN32_BUILD, "wineprefix")))
    # A first Wine program starts the server and Wine's background processes,
    # which take the CPU for several seconds: a short run nobody reads lets
    # them settle before the timed ones.
    subprocess.run(wine_bench + ["--seconds", "1", "--repeats", "1", "--ours-only"], check=True, capture_output=True)
    time.sleep(5)
    best = {name: {} for name in programs}
    for _ in range(runs):
        for name, (cmd, env) in programs.items():
            for pair, speed in converter_speeds(cmd, env).items():
                best[name][pair] = max(best[name].get(pair, 0.0), speed)
    return best


def write_markdown(rows, audio_seconds, setup, responses, runs, minutes, fft, wine, shared, wine_baseline_name):
    names = ["srconv", "soxr VHQ pb 0.997", "soxr VHQ default", "sox rate -v -b 99.7"]
    lines = ["# Speed of the converter (srconv) against libsoxr and sox", "",
             "Written by `scripts/bench-speed.py` (%d runs each, median; %d min of 16-bit stereo white noise at half"
             " of full scale, raw file in, /dev/null out, host blocks of 65536 bytes; time = user + system CPU time"
             " of the whole process, so reading and writing count for every program alike)." % (runs, minutes), "",
             "Speed is audio seconds per CPU second (× real time); ratio = srconv's speed / the other's "
             "(above 1: srconv is faster)." + (" The machine was shared with other work during this run: the "
                                                 "figures are noisier than on an idle one." if shared else ""), "",
             "| pair | " + " | ".join(names) + " | / soxr pb 0.997 | / soxr default | / sox -v -b 99.7 |",
             "|---|" + "---:|" * (len(names) + 3)]
    for a, b, m in rows:
        speeds = ["%.0f×" % (audio_seconds / m[n]) for n in names]
        ratios = ["%.2f" % (m[n] / m["srconv"]) for n in names[1:]]
        lines.append("| %d → %d | " % (a, b) + " | ".join(speeds) + " | " + " | ".join(ratios) + " |")
    lines += ["", "![ratios](speed-ratios.png)", "", "## Set-up and memory", "",
              "| measure | pair | value |", "|---|---|---:|"]
    for r in setup:
        if r[0] == "configure":
            lines.append("| configure (16-bit stereo, median of 9) | %s → %s | %s ms |" % (r[1], r[2], r[3]))
    for r in setup:
        if r[0] == "memory":
            lines.append("| heap after configure / peak while converting 60 s (stereo) | %s → %s | %.2f / %.2f MB |"
                         % (r[1], r[2], int(r[3]) / 1e6, int(r[4]) / 1e6))
    lines += ["", "FFT convolution of n = 32768 (forward real FFT, spectral product, inverse), per channel "
              "(`bench/fft_bench.cpp`, median of 400 in each of 5 processes, the best process, thread CPU time; FFTW 3 from Debian with FFTW_MEASURE plans, "
              "r2c + product + c2r, the reference):", "",
              "| channels | this converter (widest lanes) | FFTW | ratio (this / FFTW) | this converter, SSE2 |",
              "|---|---:|---:|---:|---:|"]
    for channels in (1, 2):
        ours, ref = fft[("ours", channels)], fft[("fftw", channels)]
        sse2 = fft.get(("ours-sse2", channels))
        lines.append("| %d | %.1f µs | %.1f µs | %.2f | %s |" % (channels, ours, ref, ours / ref,
                                                            "%.1f µs" % sse2 if sse2 else "–"))
    lines += ["", "The converter as built into the DLL (32-bit, mingw-w64) run under Wine, on the four-lane AVX2/FMA "
              "kernels it picks on this processor and forced onto its SSE2 kernels (`RESAMPLE_FORCE_SSE2=1`), "
              "against the native build on its widest lanes (`bench/converter_bench.cpp --ours-only`, %d s of "
              "16-bit stereo noise, best of %d runs taken in turns, thread CPU time):" % (WINE_SECONDS, runs), ""]
    earlier = "earlier" in wine
    head = "| pair | native | DLL, wide | time ratio (wide / native) | DLL, SSE2 | time ratio (SSE2 / native) |"
    rule = "|---|---:|---:|---:|---:|---:|"
    if earlier:
        head += " earlier DLL build, SSE2 | SSE2 speed-up over the earlier build |"
        rule += "---:|---:|"
    lines += [head, rule]
    for pair in sorted(wine["native"], key=lambda p: PAIRS.index(p) if p in PAIRS else len(PAIRS)):
        if pair not in wine["wide"] or pair not in wine["sse2"]:
            continue
        native, wide, sse2 = wine["native"][pair], wine["wide"][pair], wine["sse2"][pair]
        row = "| %d → %d | %.0f× | %.0f× | %.2f | %.0f× | %.2f |" % (pair + (native, wide, native / wide, sse2,
                                                                        native / sse2))
        if earlier and pair in wine["earlier"]:
            row += " %.0f× | %.2f |" % (wine["earlier"][pair], sse2 / wine["earlier"][pair])
        lines.append(row)
    if earlier:
        lines += ["", "The earlier build: %s." % wine_baseline_name]
    lines += ["", "## Frequency response", "",
              "Measured with the same 24-bit mono test tones (amplitude 0.9) through this converter and libsoxr "
              "(very high quality, passband_end 0.997): the level of the output component at the tone's frequency, "
              "or, where the output cannot carry the tone, at the frequency it folds to (alias when down-sampling, "
              "image of tone in − f when up-sampling). Tones with triangular dither, Kaiser window (β 24) over 2^19 "
              "output frames. Both converters write 24-bit samples, whose rounding of a pure tone leaves spurs "
              "around −165 to −175 dB: below that the plot shows the measurement's floor (the same for both), not "
              "the filters.", "", "![frequency response](frequency-response.png)", ""]
    for (a, b), resp in responses.items():
        edge = min(a, b) / 2.0
        band = [r for r in resp if float(r[0]) <= edge * 0.997 - 50]
        stop = [r for r in resp if float(r[0]) >= edge + 50]
        if band and stop:
            lines.append("- %d → %d: pass band up to %.0f Hz within %.4f dB (this) / %.4f dB (libsoxr); stop band "
                         "from %.0f Hz at most %.1f dB (this) / %.1f dB (libsoxr)." % (
                             a, b, float(band[-1][0]), max(abs(float(r[1])) for r in band),
                             max(abs(float(r[2])) for r in band), edge + 50, max(float(r[1]) for r in stop),
                             max(float(r[2]) for r in stop)))
    # Only the part between the markers is rewritten; the notes around it
    # (what was tried, what paid) are kept.
    path = os.path.join(ROOT, "docs", "speed.md")
    begin, end = "<!-- generated by scripts/bench-speed.py -->", "<!-- end of generated part -->"
    generated = begin + "\n" + "\n".join(lines) + "\n" + end
    text = open(path).read() if os.path.exists(path) else ""
    if begin in text and end in text:
        text = text[:text.index(begin)] + generated + text[text.index(end) + len(end):]
    else:
        text = generated + "\n"
    with open(path, "w") as f:
        f.write(text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--minutes", type=int, default=10)
    parser.add_argument("--shared-machine", action="store_true",
                        help="say in the document that other work ran on the machine meanwhile")
    parser.add_argument("--wine-baseline", metavar="EXE", default="",
                        help="an earlier build's converter_bench.exe (win32 tree), timed on SSE2 beside this one")
    parser.add_argument("--baseline-name", default="",
                        help="how the document names that build (say, the commit it was built from)")
    args = parser.parse_args()
    os.makedirs(os.path.join(ROOT, "docs"), exist_ok=True)
    build()
    rows, audio_seconds = measure_speeds(args.runs, args.minutes)
    setup = probe(["setup"])
    responses = {}
    for a, b in [(44100, 48000), (48000, 44100)]:
        responses[(a, b)] = probe(["response", str(a), str(b)])[1:]
    plot_ratios(rows)
    plot_response(responses)
    fft = fft_timing()
    wine = wine_comparison(args.runs, args.wine_baseline)
    write_markdown(rows, audio_seconds, setup, responses, args.runs, args.minutes, fft, wine, args.shared_machine,
                   args.baseline_name or args.wine_baseline)
    print(open(os.path.join(ROOT, "docs", "speed.md")).read())


if __name__ == "__main__":
    main()
