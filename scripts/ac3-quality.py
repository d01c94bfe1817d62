#!/usr/bin/python3
"""Quality of the AC-3 encoder against ffmpeg's, measured as SNR after decoding.

Makes three inputs (the music sample of scripts/make-sample.sh, espeak-ng
speech made stereo with a delayed copy on the right, a -6 dBFS 1 kHz tone),
converts each with sox to every rate and to mono and stereo, and encodes each
at several bit rates with ac3_encode_wav (this encoder) and with ffmpeg
(`-c:a ac3`). ffmpeg decodes both streams to 16-bit WAV (dynamic range words
ignored, -drc_scale 0, so only the coding is compared); each decoding is
aligned to its input by cross-correlation within +-2048 samples, since the
two encoders' delays may differ, and SNR = 10 log10(signal energy / error
energy) is taken over the overlap, all channels together.

A row passes when this encoder's SNR is at least ffmpeg's - 2 dB (both
counted as at most 90 dB, the 16-bit floor of the -6 dBFS tone), its delay
is the 256 samples ac3_encoder.h promises, and the decoding covers the whole
input. At the reduced rates (bit-stream ids 9 and 10), which ffmpeg's encoder
does not take, the mono tone at the 20 kbps budget is coded by this encoder
alone and must reach 40 dB.

usage: scripts/ac3-quality.py [--quick] [--markdown PATH]... [--encoder BIN]
                              [--build-dir DIR] [--jobs N] [--ours-ffmpeg]
--ours-ffmpeg puts ffmpeg in this encoder's place (a check of the script itself:
both columns must then agree). Exit status 1 when any row fails.
Needs: sox, espeak-ng, ffmpeg, python3-numpy (scripts/setup.sh installs them).
"""

import argparse
import concurrent.futures
import datetime
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

from ac3_encode_tool import ROOT, build
MAX_LAG = 2048
OUR_DELAY = 256  # kAc3DelaySamples
MARGIN_DB = 2.0
# A -6 dBFS sine rounded to 16 bits is 92 dB above its rounding noise; SNRs
# beyond that only say whether the decoder's rounding lands on the input's
# own, so the comparison counts anything above this as this.
SNR_CEILING_DB = 90.0
REDUCED_TARGET_DB = 40.0
REDUCED_BUDGET = 20000
# Anything slower than this is a hang, reported as the row's failure.
STEP_TIMEOUT = 300

STANDARD_RATES = [32000, 44100, 48000]
REDUCED_RATES = [24000, 22050, 16000, 12000, 11025, 8000]
# ffmpeg's encoder refuses stereo at 32 kbps and 48 kHz, so stereo starts higher.
BIT_RATES = {1: [32000, 64000, 96000, 128000, 192000], 2: [64000, 96000, 128000, 192000, 256000]}
INPUTS = ["music", "speech", "tone"]
# The standard's bit rates in kbps; the reduced rates halve or quarter them.
KBPS_TABLE = [32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640]

SPEECH = ("The quick brown fox jumps over the lazy dog. "
          "She sells sea shells by the sea shore, and the shells she sells are surely sea shells. "
          "Seven silver spoons were placed beside the bowl at a quarter past six.")


def allowed_bit_rate(rate, budget):
    """The largest bit rate the rate allows that is at most budget, else the lowest."""
    shift = 0 if rate >= 32000 else 1 if rate >= 16000 else 2
    allowed = [k * 1000 >> shift for k in KBPS_TABLE]
    fitting = [b for b in allowed if b <= budget]
    return max(fitting) if fitting else min(allowed)


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          timeout=STEP_TIMEOUT, **kw)


def make_sources(work):
    """The music and speech at their own rates: {name: path} (the tone is made at each rate)."""
    music = os.path.join(work, "music-src.wav")
    run([os.path.join(ROOT, "scripts", "make-sample.sh"), music])
    voice = os.path.join(work, "voice.wav")
    run(["espeak-ng", "-s", "160", "-w", voice, SPEECH])
    # Identical channels would let a stereo coder spend nothing on the
    # second; a delayed, quieter copy on the right is closer to a recording.
    echo = os.path.join(work, "voice-echo.wav")
    run(["sox", "-D", "-V1", voice, echo, "pad", "0.012", "gain", "-3", "trim", "0", "%.6f" % wav_seconds(voice)])
    speech = os.path.join(work, "speech-src.wav")
    run(["sox", "-D", "-V1", "-M", voice, echo, "-b", "16", speech])
    return {"music": music, "speech": speech}


def wav_seconds(path):
    with wave.open(path, "rb") as w:
        return w.getnframes() / w.getframerate()


def make_input(work, sources, name, rate, channels):
    path = os.path.join(work, "%s-%d-%d.wav" % (name, rate, channels))
    if name == "tone":
        # Synthesised at each rate rather than resampled: the same clean tone everywhere.
        run(["sox", "-D", "-V1", "-n", "-r", str(rate), "-b", "16", "-c", str(channels), path, "synth", "10",
             "sine", "1000", "vol", "-6dB"])
    else:
        run(["sox", "-D", "-V1", sources[name], "-b", "16", path, "channels", str(channels), "rate", "-v",
             str(rate)])
    return path


def read_wav(path):
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            raise ValueError("%s: %d-byte samples, expected 16-bit" % (path, w.getsampwidth()))
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        return data.reshape(-1, w.getnchannels()).astype(np.float64), w.getframerate()


def snr_db(x, y, lag):
    """SNR of y against x where y[n + lag] plays x[n], over the overlap; and its length."""
    start = max(0, -lag)
    end = min(len(x), len(y) - lag)
    if end <= start:
        return float("-inf"), 0
    ref = x[start:end]
    err = ref - y[start + lag:end + lag]
    signal = float(np.sum(ref * ref))
    noise = float(np.sum(err * err))
    if noise == 0:
        return float("inf"), end - start
    return 10 * np.log10(signal / noise), end - start


def align(x, y):
    """The lag within +-MAX_LAG at which y best plays x: (lag, SNR there, overlap).

    The lag that minimises the error over the whole input, y counting as
    silence outside its length: sum x^2 + (energy of y in the window) - 2 x
    cross-correlation, for every lag at once by FFT. Unlike the peak of the
    cross-correlation alone, this does not tie between lags a period apart
    on a steady tone: the period left uncovered at one end counts as error."""
    n, m = len(x), len(y)
    size = 1 << int(np.ceil(np.log2(n + m)))
    spectrum = sum(np.conj(np.fft.rfft(x[:, c], size)) * np.fft.rfft(y[:, c], size) for c in range(x.shape[1]))
    corr = np.fft.irfft(spectrum, size)
    lags = np.arange(-MAX_LAG, MAX_LAG + 1)
    energy = np.concatenate(([0.0], np.cumsum(np.sum(y * y, axis=1))))
    window = energy[np.clip(lags + n, 0, m)] - energy[np.clip(lags, 0, m)]
    error = window - 2 * corr[lags % size]
    lag = int(lags[np.argmin(error)])
    snr, overlap = snr_db(x, y, lag)
    return lag, snr, overlap


def ffmpeg_encode(wav, out, bit_rate):
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", wav, "-c:a", "ac3", "-b:a", str(bit_rate), "-f", "ac3",
         out])


def measure(encoder, wav, stream, bit_rate):
    """Encodes with encoder ("ffmpeg" or ac3_encode_wav), decodes, aligns: (snr, lag, note)."""
    if encoder == "ffmpeg":
        ffmpeg_encode(wav, stream, bit_rate)
    else:
        run([encoder, wav, stream, "--bit-rate", str(bit_rate)])
    decoded = stream + ".wav"
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-drc_scale", "0", "-f", "ac3", "-i", stream, "-c:a",
         "pcm_s16le", "-f", "wav", decoded])
    x, rate = read_wav(wav)
    y, decoded_rate = read_wav(decoded)
    if decoded_rate != rate or y.shape[1] != x.shape[1]:
        return float("-inf"), None, "decoded as %d Hz, %d ch" % (decoded_rate, y.shape[1])
    lag, snr, overlap = align(x, y)
    note = "" if overlap == len(x) else "decoding misses %d of %d samples" % (len(x) - overlap, len(x))
    return snr, lag, note


class Row:
    # The delay and the coverage that ac3_encoder.h promises; None where
    # ffmpeg stands in for this encoder (--ours-ffmpeg), which promises neither.
    check_lag = OUR_DELAY

    def __init__(self, name, rate, channels, bit_rate, reduced=False):
        self.name, self.rate, self.channels, self.bit_rate, self.reduced = name, rate, channels, bit_rate, reduced
        self.ours = self.theirs = None  # (snr, lag, note)
        self.error = ""

    def verdict(self):
        if self.error:
            return "FAIL: " + self.error
        snr, lag, note = self.ours
        reasons = []
        if note and self.check_lag is not None:
            reasons.append(note)
        if self.reduced:
            if not snr >= REDUCED_TARGET_DB:
                reasons.append("below %.0f dB" % REDUCED_TARGET_DB)
        elif not min(snr, SNR_CEILING_DB) >= min(self.theirs[0], SNR_CEILING_DB) - MARGIN_DB:
            reasons.append("more than %.0f dB below ffmpeg" % MARGIN_DB)
        if self.check_lag is not None and lag != self.check_lag:
            reasons.append("delay %s, not %d" % (lag, self.check_lag))
        verdict = "FAIL: " + "; ".join(reasons) if reasons else "pass"
        # ffmpeg's own shortcomings are shown, not held against this encoder.
        if self.theirs and self.theirs[2]:
            verdict += " (ffmpeg: %s)" % self.theirs[2]
        return verdict


def process(row, work, inputs, encoder):
    tag = "%s-%d-%d-%d" % (row.name, row.rate, row.channels, row.bit_rate)
    try:
        wav = inputs[(row.name, row.rate, row.channels)]
        row.ours = measure(encoder, wav, os.path.join(work, tag + "-ours.ac3"), row.bit_rate)
        if not row.reduced:
            row.theirs = measure("ffmpeg", wav, os.path.join(work, tag + "-ffmpeg.ac3"), row.bit_rate)
    except subprocess.TimeoutExpired as e:
        row.error = "%s took over %d s" % (os.path.basename(e.cmd[0]), STEP_TIMEOUT)
    except subprocess.CalledProcessError as e:
        last = (e.stderr or "").strip().splitlines()
        row.error = "%s exited with %s%s" % (os.path.basename(e.cmd[0]), e.returncode,
                                             ": " + last[-1] if last else "")
    return row


def fmt_db(value):
    return "—" if value is None else "%.2f" % value


def table_lines(rows):
    head = ["input", "rate", "ch", "kbps", "ours dB", "ours lag", "ffmpeg dB", "ffmpeg lag", "diff dB", "verdict"]
    lines = []
    for r in rows:
        ours = r.ours or (None, None, "")
        theirs = r.theirs or (None, None, "")
        diff = ours[0] - theirs[0] if ours[0] is not None and theirs[0] is not None else None
        lines.append([r.name, str(r.rate), "mono" if r.channels == 1 else "stereo", "%g" % (r.bit_rate / 1000),
                      fmt_db(ours[0]), "—" if ours[1] is None else str(ours[1]), fmt_db(theirs[0]),
                      "—" if theirs[1] is None else str(theirs[1]),
                      "—" if diff is None else "%+.2f" % diff, r.verdict()])
    return head, lines


def print_table(head, lines):
    widths = [max(len(x) for x in col) for col in zip(head, *lines)]
    for cells in [head] + lines:
        print("  ".join(c.ljust(w) for c, w in zip(cells, widths)).rstrip())


def markdown(head, lines, rows, encoder_name, quick):
    failed = sum(1 for r in rows if r.verdict().startswith("FAIL"))
    version = " ".join(run(["ffmpeg", "-version"]).stdout.split()[:3])
    out = ["<!-- scripts/ac3-quality.py%s, %s -->" % (" --quick" if quick else "",
                                                       datetime.datetime.now().strftime("%Y-%m-%d %H:%M")),
           "",
           "Ours: %s; theirs: %s (`-c:a ac3`). Both decoded by ffmpeg with `-drc_scale 0`. "
           "Lag: decoded sample index of input sample 0. Verdict: ours >= ffmpeg - %g dB, both counted as at "
           "most %g dB." % (encoder_name, version, MARGIN_DB, SNR_CEILING_DB),
           "",
           "| " + " | ".join(head) + " |",
           "|" + "|".join("---:" if i in (1, 3, 4, 5, 6, 7, 8) else "---" for i in range(len(head))) + "|"]
    out += ["| " + " | ".join(cells) + " |" for cells in lines]
    out += ["", "%d of %d rows pass." % (len(rows) - failed, len(rows)), ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quick", action="store_true", help="a small subset (about 20 s)")
    parser.add_argument("--markdown", action="append", default=[], help="write the table here too (repeatable)")
    parser.add_argument("--encoder", help="ac3_encode_wav to use (default: build it in --build-dir)")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "native"))
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--ours-ffmpeg", action="store_true", help="ffmpeg in place of this encoder")
    args = parser.parse_args()

    if args.ours_ffmpeg:
        encoder = "ffmpeg"
        Row.check_lag = None
    else:
        encoder = os.path.abspath(args.encoder) if args.encoder else build(args.build_dir)

    if args.quick:
        plan = [(n, r, c, b) for n in INPUTS for r in [44100] for c in [1, 2] for b in [64000, 192000]]
        reduced = [22050, 8000]
    else:
        plan = [(n, r, c, b) for n in INPUTS for r in STANDARD_RATES for c in [1, 2] for b in BIT_RATES[c]]
        reduced = REDUCED_RATES
    rows = [Row(*p) for p in plan]
    if not args.ours_ffmpeg:
        rows += [Row("tone", r, 1, allowed_bit_rate(r, REDUCED_BUDGET), reduced=True) for r in reduced]

    with tempfile.TemporaryDirectory(prefix="ac3-quality-") as work:
        sources = make_sources(work)
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            # Each input once, before any row reads it.
            keys = sorted({(r.name, r.rate, r.channels) for r in rows})
            paths = pool.map(lambda k: make_input(work, sources, *k), keys)
            inputs = dict(zip(keys, paths))
            done = 0
            for _ in pool.map(lambda r: process(r, work, inputs, encoder), rows):
                done += 1
                print("\r%d/%d" % (done, len(rows)), end="", file=sys.stderr, flush=True)
        print(file=sys.stderr)

    head, lines = table_lines(rows)
    print_table(head, lines)
    failed = [r for r in rows if r.verdict().startswith("FAIL")]
    print("\n%d of %d rows pass." % (len(rows) - len(failed), len(rows)))
    text = markdown(head, lines, rows, "ffmpeg (--ours-ffmpeg)" if args.ours_ffmpeg else "ac3_encode_wav",
                    args.quick)
    for path in args.markdown:
        with open(path, "w") as f:
            f.write(text)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
