#!/usr/bin/env python3
"""plughost under Wine with rmplugin.dll and the stand-in engine: one case per run.

Usage: plughost_test.py --plughost EXE --wine-run SCRIPT --work DIR --case NAME
Exit status 0 passed, 1 failed, 77 skipped (no X display for the panel).
"""
import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import wave

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from wav_images import fmt_chunk, riff  # noqa: E402

CASES = {}


def case(function):
    CASES[function.__name__] = function
    return function


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def write_wav(path, rate=22050, channels=2, bits=16, seconds=0.5):
    frames = int(rate * seconds)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(bits // 8)
        w.setframerate(rate)
        w.writeframes(bytes((i * 7) & 0xFF for i in range(frames * channels * bits // 8)))




class Host:
    def __init__(self, args):
        self.args = args
        self.work = os.path.join(args.work, args.case)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.log = os.path.join(self.work, "engine-calls.json")

    def path(self, name):
        return os.path.join(self.work, name)

    def run(self, *arguments, faults=None, extra_env=None):
        env = dict(os.environ, RMBE_LOG=self.log)
        for name in ("RMBE_PCM", "RMBE_FAIL", "RMBE_PCM_PER_FILE", "RMBE_LOG_ENGINE"):
            env.pop(name, None)
        env.update(extra_env or {})
        if faults:
            env["RMBE_FAIL"] = faults
        # Settings from earlier runs stay in the prefix: start from the defaults.
        defaults = ["--set", "ZVKRMFreq=44100", "--set", "ZVKRMAudioFormat=0", "--set", "ZVKRMExt=.rm",
                    "--set", "ZVKRMTitleArtist=0"]
        command = [self.args.wine_run, self.args.plughost] + list(arguments[:1]) + defaults + list(arguments[1:])
        result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")

    def engine_calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [json.loads(line) for line in f if line.strip()]


@case
def refuses_malformed_truncated_and_non_pcm_wavs_before_the_plugin(host):
    good = riff([fmt_chunk(2, 22050, 16), (b"data", bytes(400))])
    inputs = {
        "garbage.wav": b"this is not a wave file at all",
        "truncated.wav": good[:-100],
        "adpcm.wav": riff([fmt_chunk(2, 22050, 16, tag=2), (b"data", bytes(400))]),
        "twelve-bit.wav": riff([fmt_chunk(1, 22050, 12), (b"data", bytes(400))]),
    }
    for name, data in inputs.items():
        with open(host.path(name), "wb") as f:
            f.write(data)
        status, out, err = host.run("convert", host.path(name))
        expect(status == 2, "%s: exit %d, expected 2" % (name, status))
        expect(name in err and len(err.strip().splitlines()) == 1, "%s: message %r" % (name, err))
        expect(not os.path.exists(host.path(name[:-4] + ".rm")), "%s: an output was written" % name)
    expect(host.engine_calls() == [], "the engine was called for a refused input")


@case
def accepts_extensible_pcm_and_names_the_output_after_the_input(host):
    guid_pcm = bytes.fromhex("0100000000001000800000aa00389b71")
    extensible = riff([fmt_chunk(2, 48000, 24, tag=0xFFFE, extra=struct.pack("<HI", 24, 3) + guid_pcm),
                       (b"data", bytes(6 * 4800))])
    with open(host.path("Band - Song.wav"), "wb") as f:
        f.write(extensible)
    out_dir = host.path("out")
    os.makedirs(out_dir)
    status, out, err = host.run("convert", "--set", "Ext=.ra", "--out-dir", out_dir, host.path("Band - Song.wav"))
    expect(status == 0, "exit %d: %s %s" % (status, out, err))
    expect(os.path.exists(os.path.join(out_dir, "Band - Song.ra")), "no Band - Song.ra in --out-dir: %s" % out)
    expect("48000 Hz 24-bit 2 ch" in out and "0.100 s" in out and "create error 0" in out, "summary: %r" % out)
    # Without --out-dir the result goes beside the input.
    status, out, err = host.run("convert", host.path("Band - Song.wav"))
    expect(status == 0 and os.path.exists(host.path("Band - Song.rm")), "not beside the input: %s %s" % (out, err))


@case
def set_writes_the_settings_before_the_plugin_loads(host):
    write_wav(host.path("in.wav"))
    status, out, err = host.run("convert", "--set", "ZVKRMFreq=8000", "--set", "AudioFormat=3", host.path("in.wav"))
    expect(status == 0, "exit %d: %s %s" % (status, out, err))
    audio = [c for c in host.engine_calls() if c.get("iface") == "AudioPinProperties"]
    settings = {c["slot"]: c["args"] for c in audio if c.get("slot") in (4, 8)}
    expect(settings.get(4) == [8000] and settings.get(8) == [2], "audio input set to %r" % settings)


@case
def error_code_3_makes_the_exit_status_nonzero(host):
    write_wav(host.path("in.wav"), seconds=2)
    status, out, err = host.run("convert", host.path("in.wav"), faults="Library.0=80004005")
    expect(status == 1 and "create error 3" in out, "failed creation: exit %d, %r" % (status, out))
    status, out, err = host.run("convert", "--block-bytes", "8192", host.path("in.wav"),
                                faults="InputPin.6@2=80004005")
    expect(status == 1 and ", 1 with error 3" in out, "refused chunk: exit %d, %r" % (status, out))
    status, out, err = host.run("convert", "--random-blocks", "5", host.path("in.wav"))
    expect(status == 0 and "with error 3" in out and ", 0 with error 3" in out, "clean run: %d %r" % (status, out))


@case
def a_name_the_plugin_cannot_take_is_reported_not_cut(host):
    deep = host.work
    while len(deep) < 250:
        deep = os.path.join(deep, "folder-with-a-long-name")
    os.makedirs(deep)
    write_wav(os.path.join(deep, "in.wav"))
    status, out, err = host.run("convert", os.path.join(deep, "in.wav"))
    expect(status == 1 and "create error 3" in out, "exit %d: %r %r" % (status, out, err))
    expect(not any(name.endswith(".rm") for _, _, files in os.walk(host.work) for name in files),
           "a shortened output was written")


@case
def jobs_converts_files_side_by_side_into_what_one_at_a_time_gives(host):
    formats = [(44100, 2, 16), (22050, 1, 8), (48000, 2, 24), (8000, 1, 16), (32000, 2, 16)]
    inputs = []
    for index, (rate, channels, bits) in enumerate(formats):
        inputs.append(host.path("in%d.wav" % index))
        write_wav(inputs[-1], rate=rate, channels=channels, bits=bits, seconds=1.5)
    per_file = {"RMBE_PCM_PER_FILE": "1", "RMBE_LOG_ENGINE": "1"}
    outputs = {}
    for jobs in ("1", "3"):
        out_dir = host.path("jobs" + jobs)
        os.makedirs(out_dir)
        if os.path.exists(host.log):
            os.remove(host.log)
        status, out, err = host.run("convert", "--set", "AudioFormat=3", "--jobs", jobs, "--out-dir", out_dir,
                                    *inputs, extra_env=per_file)
        expect(status == 0, "--jobs %s: exit %d: %s %s" % (jobs, status, out, err))
        lines = out.strip().splitlines()
        expect(sorted(line.split(":")[0] for line in lines) == sorted(inputs) and
               all("create error 0" in line and ", 0 with error 3" in line for line in lines),
               "--jobs %s: one clean summary per file expected: %r" % (jobs, out))
        outputs[jobs] = {}
        for index in range(len(inputs)):
            for suffix in (".rm", ".rm.pcm"):
                with open(os.path.join(out_dir, "in%d%s" % (index, suffix)), "rb") as f:
                    outputs[jobs]["in%d%s" % (index, suffix)] = f.read()
        # Side by side: a second engine was set up before the first one ended.
        order = []
        for call in host.engine_calls():
            engine = call.get("engine")
            if engine and (not order or order[-1] != engine):
                order.append(engine)
        interleaved = len(order) > len(set(order))
        expect(interleaved == (jobs != "1"), "--jobs %s: engine calls in the order %r" % (jobs, order))
    for name, data in outputs["1"].items():
        expect(len(data) > 1000 and outputs["3"][name] == data, "%s differs between --jobs 1 and --jobs 3" % name)


@case
def panel_shows_the_settings_panel_in_a_host_window(host):
    if not os.environ.get("DISPLAY"):
        print("skipped: no X display")
        sys.exit(77)
    shot = host.path("panel.bmp")
    status, out, err = host.run("panel", "--set", "AudioFormat=2", "--screenshot", shot)
    expect(status == 0 and os.path.exists(shot), "exit %d: %s %s" % (status, out, err))
    with open(shot, "rb") as f:
        pixels = f.read()[54:]
    # Wine draws the panel in a handful of greys, so look for what a blank
    # capture lacks: several shades, and dark pixels where the texts are.
    frame = [pixels[i:i + 3] for i in range(0, len(pixels) - 2, 3)]
    dark = sum(1 for pixel in frame if max(pixel) < 64)
    expect(len(set(frame)) >= 4 and dark > len(frame) // 200,
           "the screenshot is blank (%d shades, %d dark pixels)" % (len(set(frame)), dark))
    keep = os.path.join(host.args.work, "plughost_panel.bmp")
    shutil.copy(shot, keep)
    print("screenshot: %s" % keep)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--plughost", required=True)
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    args = parser.parse_args()
    host = Host(args)
    try:
        CASES[args.case](host)
    except Failure as failure:
        print("FAIL %s: %s" % (args.case, failure))
        return 1
    print("ok %s" % args.case)
    shutil.rmtree(host.work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
