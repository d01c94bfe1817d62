#!/usr/bin/python3
"""Spectrograms of a conversion's input and its decoded result, side by side.

    scripts/sonograms.py INPUT.wav RESULT.rm OUT.png

Both files are decoded by ffmpeg to 16-bit WAV in a temporary folder (so any
WAV flavour the plug-in takes, and any codec ffmpeg plays, will do). Each
panel shows the power of all channels together, in dB below the input's
loudest point, on one colour scale and one frequency axis, so that what the
codec removed (the band above its cut-off, quiet detail, pre-echo around
attacks) shows as a difference between the two.
"""
import os
import subprocess
import sys
import tempfile
import wave

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

FLOOR_DB = -110.0


def decode(path, folder, name):
    """The file's first audio stream as (samples[frames, channels] in [-1, 1), rate)."""
    target = os.path.join(folder, name + ".wav")
    result = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0",
                             "-c:a", "pcm_s16le", "-f", "wav", "-y", target],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if result.returncode != 0:
        sys.exit("sonograms.py: ffmpeg cannot decode %s: %s" %
                 (path, result.stderr.decode(errors="replace").strip()))
    with wave.open(target, "rb") as reader:
        frames = reader.readframes(reader.getnframes())
        channels, rate = reader.getnchannels(), reader.getframerate()
    samples = np.frombuffer(frames, dtype="<i2").reshape(-1, channels) / 32768.0
    return samples, rate


def power_spectrogram(samples, rate):
    """(power[bins, frames], frequencies in Hz, times in s), channels summed."""
    # About 46 ms a window at every rate, so both panels resolve alike.
    size = 1 << max(8, int(round(np.log2(rate * 0.046))))
    hop = size // 4
    window = np.hanning(size)
    padded = np.vstack([samples, np.zeros((size, samples.shape[1]))])
    count = max(1, (len(samples) + hop - 1) // hop)
    power = np.zeros((size // 2 + 1, count))
    for start_index in range(count):
        block = padded[start_index * hop:start_index * hop + size] * window[:, None]
        power[:, start_index] = (np.abs(np.fft.rfft(block, axis=0)) ** 2).sum(axis=1)
    # Scaled by the window's gain, a tone reads the same level at every
    # window length (and so at every rate).
    return power / window.sum() ** 2, np.fft.rfftfreq(size, 1.0 / rate), np.arange(count) * hop / rate


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip().splitlines()[2].strip())
    input_path, result_path, picture = sys.argv[1:]
    with tempfile.TemporaryDirectory() as folder:
        source, source_rate = decode(input_path, folder, "input")
        decoded, decoded_rate = decode(result_path, folder, "decoded")
    panels = [(os.path.basename(input_path), source, source_rate),
              (os.path.basename(result_path) + ", decoded", decoded, decoded_rate)]
    spectra = [power_spectrogram(samples, rate) for _, samples, rate in panels]
    reference = max(spectra[0][0].max(), 1e-30)
    top_khz = max(rate for _, _, rate in panels) / 2000.0
    figure, axes = plt.subplots(1, 2, figsize=(14, 5.5), sharey=True, constrained_layout=True)
    for axis, (title, samples, rate), (power, frequencies, times) in zip(axes, panels, spectra):
        level = 10 * np.log10(np.maximum(power / reference, 1e-30))
        end = times[-1] + (times[1] - times[0] if len(times) > 1 else 0)
        image = axis.imshow(np.maximum(level, FLOOR_DB), origin="lower", aspect="auto", cmap="magma",
                            vmin=FLOOR_DB, vmax=0, extent=[0, end, 0, frequencies[-1] / 1000.0],
                            interpolation="nearest")
        axis.set_title("%s\n%d Hz, %d channel%s, %.2f s" % (title, rate, samples.shape[1],
                                                            "" if samples.shape[1] == 1 else "s",
                                                            len(samples) / rate))
        axis.set_xlabel("time (s)")
        # Grey above a panel's Nyquist frequency: that file cannot hold it.
        axis.set_facecolor("#c8c8c8")
        axis.set_ylim(0, top_khz)
    axes[0].set_ylabel("frequency (kHz)")
    figure.colorbar(image, ax=axes, label="dB below the input's loudest point")
    figure.savefig(picture, dpi=110)


if __name__ == "__main__":
    main()
