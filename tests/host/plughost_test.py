#!/usr/bin/env python3
"""plughost under Wine with rmplugin.dll and the stand-in engine: one case per run.

Usage: plughost_test.py --plughost EXE --wine-run SCRIPT --work DIR --case NAME
Exit status 0 passed, 1 failed, 77 skipped (no X display for the panel).
"""
import argparse
import array
import json
import math
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import time
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

    def run(self, *arguments, faults=None, extra_env=None, defaults=True):
        env = dict(os.environ, RMBE_LOG=self.log)
        for name in ("RMBE_PCM", "RMBE_FAIL", "RMBE_PCM_PER_FILE", "RMBE_LOG_ENGINE", "RMBE_CODEC"):
            env.pop(name, None)
        env.update(extra_env or {})
        if faults:
            env["RMBE_FAIL"] = faults
        result = subprocess.run(self.command(arguments, defaults), env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        return result.returncode, result.stdout.decode(errors="replace"), result.stderr.decode(errors="replace")

    def command(self, arguments, defaults=True):
        # Stored settings may differ: every run names the defaults.
        settings = ["ZVKRMFreq=44100", "ZVKRMAudioFormat=0", "ZVKRMExt=.rm", "ZVKRMTitleArtist=0"] if defaults else []
        options = [word for setting in settings for word in ("--set", setting)]
        return [self.args.wine_run, self.args.plughost] + list(arguments[:1]) + options + list(arguments[1:])

    def wine_env(self):
        prefix = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(self.args.plughost))), "wineprefix")
        return dict(os.environ, RMP_WINEPREFIX=prefix)

    def engine_calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="latin-1") as f:  # texts are logged in the ANSI code page
            return [json.loads(line) for line in f if line.strip()]


@case
def refuses_malformed_truncated_and_non_pcm_wavs_before_the_plugin(host):
    good = riff([fmt_chunk(2, 22050, 16), (b"data", bytes(400))])
    inputs = {
        "garbage.wav": b"this is not a wave file at all",
        "truncated.wav": good[:-100],
        "adpcm.wav": riff([fmt_chunk(2, 22050, 16, tag=2), (b"data", bytes(400))]),
        "twelve-bit.wav": riff([fmt_chunk(1, 22050, 12), (b"data", bytes(400))]),
        "nineteen-channels.wav": riff([fmt_chunk(19, 22050, 16), (b"data", bytes(19 * 2 * 100))]),
    }
    said = {"nineteen-channels.wav": "19 channels: the plug-in takes at most 18"}
    for name, data in inputs.items():
        with open(host.path(name), "wb") as f:
            f.write(data)
        status, out, err = host.run("convert", host.path(name))
        expect(status == 2, "%s: exit %d, expected 2" % (name, status))
        expect(name in err and said.get(name, "") in err and len(err.strip().splitlines()) == 1,
               "%s: message %r" % (name, err))
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
    status, out, err = host.run("convert", "--verbose", "--set", "Ext=.ra", "--out-dir", out_dir,
                                host.path("Band - Song.wav"))
    expect(status == 0, "exit %d: %s %s" % (status, out, err))
    expect(os.path.exists(os.path.join(out_dir, "Band - Song.ra")), "no Band - Song.ra in --out-dir: %s" % out)
    expect("in: 48000 Hz 24-bit 2 ch, 0.100 s sent; create error 0" in out, "summary: %r" % out)
    # A data size of 0 that its writer never filled in: the audio after it is sent, and the line says so.
    unset = bytearray(extensible)
    unset[unset.index(b"data") + 4:unset.index(b"data") + 8] = bytes(4)
    with open(host.path("unset.wav"), "wb") as f:
        f.write(unset)
    status, out, err = host.run("convert", "--verbose", host.path("unset.wav"))
    expect(status == 0 and "0.100 s sent" in out and out.count("size is 0") == 1, "data size 0: %r %r" % (out, err))
    # Without --out-dir the result goes beside the input.
    status, out, err = host.run("convert", host.path("Band - Song.wav"))
    expect(status == 0 and os.path.exists(host.path("Band - Song.rm")), "not beside the input: %s %s" % (out, err))


# Stereo gains of the 18 WAVE speaker positions (mask bit order), the plug-in's documented fold.
K = 0.5 ** 0.5
SIDES = [(1, 0), (0, 1), (K, K), (0, 0), (K, 0), (0, K), (1, 0), (0, 1), (K, K), (K, 0), (0, K), (K, K),
         (K, 0), (K, K), (0, K), (K, 0), (K, K), (0, K)]


def tone_level(samples, channel, frequency, start=22050, length=4410):
    """Amplitude of a 44100 Hz stereo channel's tone (whole cycles in the window), in full scale."""
    z = sum(samples[(start + i) * 2 + channel] * complex(math.cos(2 * math.pi * frequency * i / 44100),
                                                          math.sin(2 * math.pi * frequency * i / 44100))
            for i in range(length))
    return 2 * abs(z) / length / 32768


@case
def multichannel_files_fold_by_their_speaker_layout(host):
    # One tone per channel; the channels take the mask's bits in order (bits past the count ignored,
    # channels past the bits unplaced, like a centre; a mask of 0, like none, the usual layout), and
    # each side's sum is scaled down to at most 1.
    amplitude = 3000
    for channels, mask in ((4, 0x0F), (3, 0x0B), (4, 0x107), (6, 0x3), (7, 0x80000000), (6, None), (6, 0),
                           (18, 0x3FFFF)):
        tones = [500 + 300 * c for c in range(channels)]
        frames = array.array("h", (int(amplitude * math.sin(2 * math.pi * tones[c] * i / 44100))
                                   for i in range(44100) for c in range(channels)))
        extra = None if mask is None else struct.pack("<HI", 16, mask) + bytes.fromhex("0100000000001000800000aa00389b71")
        name, pcm_path = host.path("layout%d.wav" % channels), host.path("engine%d-%s.pcm" % (channels, mask))
        with open(name, "wb") as f:
            f.write(riff([fmt_chunk(channels, 44100, 16, tag=0xFFFE if extra else 1, extra=extra), (b"data", frames.tobytes())]))
        status, out, err = host.run("convert", "--overwrite", "--set", "AudioFormat=3", name, extra_env={"RMBE_PCM": pcm_path})
        expect(status == 0, "%d channels: exit %d %s %s" % (channels, status, out, err))
        with open(pcm_path, "rb") as f:
            stereo = array.array("h", f.read())
        bits = [b for b in range(32) if (mask or 0x3F) >> b & 1][:channels]
        sides = [SIDES[b] if b < 18 else (K, K) for b in bits] + [(K, K)] * (channels - len(bits))
        scale = max(1, sum(side[0] for side in sides), sum(side[1] for side in sides))
        for out_channel, c in ((o, c) for o in (0, 1) for c in range(channels)):
            level, wanted = tone_level(stereo, out_channel, tones[c]), sides[c][out_channel] / scale * amplitude / 32768
            expect(abs(level - wanted) < 0.001, "%d channels, mask %s: input %d in output %d at %.4f, %.4f expected"
                   % (channels, mask, c, out_channel, level, wanted))


def coded_rate(host):
    audio = [c for c in host.engine_calls() if c.get("iface") == "AudioPinProperties" and c.get("slot") == 4]
    return audio[-1]["args"][0] if audio else None


@case
def set_applies_to_one_run_and_settings_stores(host):
    write_wav(host.path("in.wav"))
    status, out, err = host.run("settings")  # stores the defaults
    expect(status == 0 and "ZVKRMFreq        44100" in out, "settings: %d %r %r" % (status, out, err))
    status, out, err = host.run("convert", "--overwrite", "--set", "ZVKRMFreq=8000", "--set", "AudioFormat=3",
                                host.path("in.wav"))
    expect(status == 0 and coded_rate(host) == 8000 and "(8000 Hz 2 ch Stereo Music, " in out,
           "--set: exit %d, rate %r, %r" % (status, coded_rate(host), out))
    for bad, listed in (("Frequency=8000", "ZVKRMTitleArtist"), ("zvkrmfreq=8000", "ZVKRMExt"),
                        ("Freq=12345", "11025, 16000"), ("AudioFormat=7", "3 (Stereo Music)"),
                        ("Ext=/../x", "a dot and")):
        if os.path.exists(host.log):
            os.remove(host.log)
        status, out, err = host.run("convert", "--set", bad, host.path("in.wav"))
        expect(status == 2 and listed in err and host.engine_calls() == [], "%s: %d %r" % (bad, status, err))
    # Nothing of the runs above was stored, and their private keys are gone.
    status, out, err = host.run("convert", "--overwrite", host.path("in.wav"), defaults=False)
    expect(coded_rate(host) == 44100, "a --set outlived its run: rate %r" % coded_rate(host))
    status, out, err = host.run("settings", "--set", "Freq=22050", defaults=False)
    status, out, err = host.run("convert", "--overwrite", host.path("in.wav"), defaults=False)
    expect(coded_rate(host) == 22050, "plughost settings --set was not stored: rate %r" % coded_rate(host))
    host.run("settings", "--set", "Freq=44100", defaults=False)
    expect(run_keys(host) == [], "private settings keys were left: %r" % run_keys(host))
    # settings prints as convert does: UTF-8, and LF line ends.
    status, out, err = host.run("settings", "--set", "Ext=.ÄÖü", defaults=False)
    host.run("settings", "--set", "Ext=.rm", defaults=False)
    converted = host.run("convert", "--overwrite", host.path("in.wav"))
    expect(status == 0 and '".ÄÖü"' in out and "\r" not in out + converted[1] + converted[2],
           "settings: %r; convert: %r" % (out, converted))


@case
def error_code_3_makes_the_exit_status_nonzero(host):
    write_wav(host.path("in.wav"), seconds=2)
    status, out, err = host.run("convert", "--verbose", host.path("in.wav"), faults="Library.0=80004005")
    expect(status == 1 and "failed, no file written: the plug-in could not set up" in err and "create error 3" in err,
           "failed creation: exit %d, %r" % (status, err))
    status, out, err = host.run("convert", "--verbose", "--block-bytes", "8192", host.path("in.wav"),
                                faults="InputPin.6@2=80004005")
    expect(status == 1 and "error 3 for 1 of" in err and ", 1 with error 3" in err,
           "refused chunk: exit %d, %r" % (status, err))
    status, out, err = host.run("convert", "--random-blocks", "5", host.path("in.wav"))
    expect(status == 0 and "converted to" in out and "with error 3" not in out, "clean run: %d %r" % (status, out))


@case
def a_name_the_plugin_cannot_take_is_reported_not_cut(host):
    deep = host.work
    while len(deep) < 250:
        deep = os.path.join(deep, "folder-with-a-long-name")
    os.makedirs(deep)
    write_wav(os.path.join(deep, "in.wav"))
    status, out, err = host.run("convert", os.path.join(deep, "in.wav"))
    expect(status == 1 and "path is too long" in err, "exit %d: %r %r" % (status, out, err))
    expect(not any(name.endswith(".rm") for _, _, files in os.walk(host.work) for name in files),
           "a shortened output was written")


@case
def every_output_path_up_to_the_limit_converts(host):
    # Outputs of every length from 200 to 259 characters, each in a deep folder of long names (which have
    # short forms) or of 8.3 names (which have none shorter). Their names leave room higher up on the drive.
    seed = random.randrange(1 << 30)
    rng = random.Random(seed)
    folders = {}
    for style in ("long", "8.3") * 2:
        folder = host.path("%s%d" % (style, len(folders)))
        target = rng.randrange(130, 180)
        while len(windows_path(folder)) + 9 <= target:  # room for one more 8.3 name
            size = 8 if style == "8.3" else min(rng.randrange(12, 40), target - len(windows_path(folder)) - 1)
            folder = os.path.join(folder, "".join(rng.choice("abcdefgh0123") for _ in range(size)))
        folders[folder] = []
    for length in range(200, 260):
        folder = rng.choice(sorted(folders))
        folders[folder].append(host.path("n" * (length - len(windows_path(folder)) - len("\\.rm")) + ".wav"))
        write_wav(folders[folder][-1], rate=8000, channels=1, seconds=0.05)
    for folder, sources in folders.items():
        os.makedirs(folder)
        failed = run_together(host, [["--out-dir", folder] + sources])
        expect(not failed and files_under(folder) == sorted(os.path.basename(s)[:-4] + ".rm" for s in sources),
               "seed %d: %r, left %r" % (seed, failed, files_under(folder)))
    expect(not [name for name in files_under(host.work) if "~ph" in name], "seed %d: temporary folders left" % seed)


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
        status, out, err = host.run("convert", "--verbose", "--set", "AudioFormat=3", "--jobs", jobs, "--out-dir",
                                    out_dir, *inputs, extra_env=per_file)
        expect(status == 0, "--jobs %s: exit %d: %s %s" % (jobs, status, out, err))
        lines = out.strip().splitlines()
        expect(sorted(line.split(":")[0] for line in lines[:-1]) == sorted(inputs) and
               all("create error 0" in line and ", 0 with error 3" in line for line in lines[:-1]) and
               lines[-1] == "5 files: 5 converted, 0 skipped, 0 failed",
               "--jobs %s: one clean line per file and the tally expected: %r" % (jobs, out))
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



def files_under(folder):
    return sorted(os.path.relpath(os.path.join(d, n), folder) for d, dirs, files in os.walk(folder)
                  for n in dirs + files)


@case
def outputs_never_replace_or_shadow_each_other(host):
    for folder in ("x", "y", "out"):
        os.makedirs(host.path(folder))
    write_wav(host.path("x/song.wav"))
    write_wav(host.path("y/song.wav"), rate=8000)
    for jobs in ("1", "2"):
        status, out, err = host.run("convert", "--jobs", jobs, "--out-dir", host.path("out"),
                                    host.path("x/song.wav"), host.path("y/song.wav"))
        expect(status == 2 and "x/song.wav and " in err and "y/song.wav would both" in err,
               "--jobs %s: exit %d, %r" % (jobs, status, err))
        expect(files_under(host.path("out")) == [] and host.engine_calls() == [], "--jobs %s converted" % jobs)
    # Names that differ only in case: one file named twice, or two files of this case-sensitive disk,
    # whose outputs Windows could not tell apart.
    write_wav(host.path("x/Song.wav"), rate=8000)
    shared = "their outputs would share one name (Windows names ignore case)"
    for names, said in ((["y/song.wav", "y/SONG.WAV"], "are the same file"), (["x/Song.wav", "x/song.wav"], shared)):
        status, out, err = host.run("convert", *[host.path(name) for name in names])
        expect(status == 2 and said in err and host.engine_calls() == [], "%r: exit %d, %r" % (names, status, err))
    with open(host.path("out/song.rm"), "wb") as f:
        f.write(b"the user's file")
    status, out, err = host.run("convert", "--out-dir=" + host.path("out"), "--", host.path("x/song.wav"))
    expect(status == 0 and "skipped" in out and "song.rm exists" in out, "exit %d %r" % (status, out))
    with open(host.path("out/song.rm"), "rb") as f:
        expect(f.read() == b"the user's file", "an existing output was replaced without --overwrite")
    status, out, err = host.run("convert", "--overwrite", "--out-dir", host.path("out"), host.path("x/song.wav"))
    expect(status == 0 and os.path.getsize(host.path("out/song.rm")) > 1000, "--overwrite: %d %r" % (status, err))
    expect(files_under(host.path("out")) == ["song.rm"], "left behind: %r" % files_under(host.path("out")))


def long_wav(host, name):
    path = host.path(name)
    write_wav(path, rate=48000, bits=24, seconds=0.01)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(3)
        w.setframerate(48000)
        w.writeframes(bytes(48000 * 6 * 120))
    return path


def start_and_wait_for_chunks(host, *arguments):
    """Starts a conversion and returns it once the engine has taken chunks."""
    if os.path.exists(host.log):
        os.remove(host.log)
    process = subprocess.Popen(host.command(["convert", "--block-bytes", "4096"] + list(arguments)),
                               env=dict(os.environ, RMBE_LOG=host.log), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    deadline = time.monotonic() + 60
    while not any(c.get("iface") == "MediaSample" for c in host.engine_calls()):
        expect(process.poll() is None and time.monotonic() < deadline, "the conversion never started")
        time.sleep(0.05)
    return process


@case
def interrupts_and_read_errors_leave_no_output(host):
    source = long_wav(host, "long.wav")
    out_dir = host.path("out")
    os.makedirs(out_dir)
    # Wine turns SIGINT into Ctrl-C; SIGTERM ends the process at once (the shell's 143), and
    # plughost's watcher cleans up after it.
    for sig, status_wanted, word in ((signal.SIGINT, (130,), "interrupted"),
                                     (signal.SIGTERM, (143, -signal.SIGTERM), "killed")):
        process = start_and_wait_for_chunks(host, "--out-dir", out_dir, source)
        process.send_signal(sig)
        out, err = (stream.decode(errors="replace") for stream in process.communicate(timeout=60))
        lines = err.strip().splitlines()
        expect(process.returncode in status_wanted and len(lines) == 1 and word in lines[0],
               "%s: exit %d, %r" % (sig, process.returncode, err))
        expect(files_under(out_dir) == [], "%s left %r" % (sig, files_under(out_dir)))
        if sig == signal.SIGINT:  # the plug-in's object was deleted: the engine saw every reference go
            reports = [c["report"] for c in host.engine_calls() if "report" in c]
            expect(reports and reports[-1].strip() == "clean", "engine references after Ctrl-C: %r" % reports)
    process = start_and_wait_for_chunks(host, "--out-dir", out_dir, source)
    with open(source, "r+b") as f:
        f.truncate(100000)
    out, err = (stream.decode(errors="replace") for stream in process.communicate(timeout=60))
    expect(process.returncode == 1 and "read error" in err, "shrunk input: exit %d, %r" % (process.returncode, err))
    expect(files_under(out_dir) == [], "a read error left %r" % files_under(out_dir))


def cleanup_watchers(host):
    """The unix ids of the watchers plughost started in this test's Wine prefix."""
    def words(pid, name):
        try:
            with open("/proc/%s/%s" % (pid, name), "rb") as f:
                return f.read().split(b"\0")
        except OSError:
            return []
    prefix = ("WINEPREFIX=" + host.wine_env()["RMP_WINEPREFIX"]).encode()
    return [int(pid) for pid in filter(str.isdigit, os.listdir("/proc"))
            if b"--cleanup-watch" in words(pid, "cmdline") and prefix in words(pid, "environ")]


def run_keys(host):
    keys = subprocess.run([host.args.wine_run, "reg", "query", r"HKCU\Software\Harborlane"], env=host.wine_env(),
                          stdout=subprocess.PIPE).stdout.decode(errors="replace")
    return [line for line in keys.splitlines() if "plughost-run" in line]


@case
def a_run_killed_outright_leaves_nothing_that_breaks_the_next(host):
    out_dir = host.path("out")
    os.makedirs(out_dir)
    keys_before = run_keys(host)
    process = start_and_wait_for_chunks(host, "--out-dir", out_dir, long_wav(host, "long.wav"))
    for pid in cleanup_watchers(host) + [process.pid]:
        os.kill(pid, signal.SIGKILL)
    process.communicate(timeout=60)
    expect(files_under(out_dir) != [], "the killed run left no temporary folder")
    # Wine often gives the next process a killed one's id: folders named after
    # every id it hands out (multiples of 4) stand for such leftovers.
    planted = ["~ph%x-0" % pid for pid in range(0x20, 0x2000, 4)]
    for name in planted:
        os.makedirs(os.path.join(out_dir, name), exist_ok=True)
    write_wav(host.path("short.wav"))
    status, out, err = host.run("convert", "--out-dir", out_dir, host.path("short.wav"))
    expect(status == 0, "after a kill: exit %d, %r" % (status, err))
    left = sorted(set(files_under(out_dir)) - set(planted))
    expect(left == ["short.rm"] and run_keys(host) == keys_before, "left behind: %r %r" % (left, run_keys(host)))


# Runs into one folder at once, repeated (PLUGHOST_REPETITIONS=20 for a longer look).
REPETITIONS = int(os.environ.get("PLUGHOST_REPETITIONS", "10"))


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_together(host, argument_lists):
    """Starts one conversion per argument list at once (at 8000 Hz, stored as PCM); returns their failures."""
    # Output into files: a process Wine starts meanwhile (its desktop) may inherit a pipe and keep it open.
    logs = [open(host.path("run%d.txt" % i), "w+", errors="replace") for i in range(len(argument_lists))]
    runs = [subprocess.Popen(host.command(["convert", "--set", "Freq=8000"] + arguments), stdout=log, stderr=log,
                             env=dict(os.environ, RMBE_CODEC="pcm")) for arguments, log in zip(argument_lists, logs)]
    failed = []
    for run, log in zip(runs, logs):
        status = run.wait(timeout=100)
        log.seek(0)
        lines = log.read().splitlines()
        log.close()
        failed += [line for line in lines if ": failed" in line] or (["exit %d: %r" % (status, lines)] * bool(status))
    return failed


@case
def runs_into_one_folder_at_once_never_break_each_other(host):
    sources = [host.path("in%02d.wav" % i) for i in range(64)]
    for source in sources:
        write_wav(source, rate=8000, channels=1, seconds=1)
    failed = []
    for repetition in range(REPETITIONS):
        # 16 runs of 4 files each, then 4 runs that each replace the same 40 of them.
        out_dir = host.path("out%d" % repetition)
        os.makedirs(out_dir)
        failed += run_together(host, [["--jobs", "4", "--out-dir", out_dir] + sources[run::16] for run in range(16)])
        failed += run_together(host, [["--overwrite", "--jobs", "4", "--out-dir", out_dir] + sources[:40]] * 4)
        expect(failed or files_under(out_dir) == sorted(os.path.basename(s)[:-4] + ".rm" for s in sources),
               "left in the folder: %r" % files_under(out_dir))
    expect(not failed, "%d conversions failed:\n%s" % (len(failed), "\n".join(failed)))


@case
def an_output_open_in_another_program_is_named_not_replaced(host):
    write_wav(host.path("in.wav"), rate=8000, channels=1)
    with open(host.path("in.rm"), "wb") as f:
        f.write(b"open in a player")
    # cmd hands the file to ping as its input and holds it for some 9 s.
    command = "echo held> %s & ping -n 10 127.0.0.1 > nul < %s" % (windows_path(host.path("held")),
                                                                   windows_path(host.path("in.rm")))
    holder = subprocess.Popen([host.args.wine_run, "cmd", "/c", command], env=host.wine_env(),
                              stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while not os.path.exists(host.path("held")):
        expect(holder.poll() is None and time.monotonic() < deadline, "the holding program did not start")
        time.sleep(0.05)
    failed = run_together(host, [["--overwrite", host.path("in.wav")]])
    expect(holder.poll() is None, "the file was not held long enough to tell")
    holder.wait(timeout=60)
    expect(len(failed) == 1 and "in.rm is open in another program" in failed[0], "held output: %r" % failed)
    with open(host.path("in.rm"), "rb") as f:
        expect(f.read() == b"open in a player", "a held output was replaced")


@case
def names_outside_the_ansi_code_page_convert_and_print(host):
    names = ["Дом - Песня", "日本 - 歌", "Band - \U0001F3B5 Song", "Café - Ärger"]
    out_dir = host.path("Выход 出力")
    os.makedirs(out_dir)
    for name in names:
        write_wav(host.path(name + ".wav"))
    status, out, err = host.run("convert", "--out-dir", out_dir, *[host.path(n + ".wav") for n in names])
    expect(status == 0, "exit %d: %r %r" % (status, out, err))
    expect(files_under(out_dir) == sorted(n + ".rm" for n in names), "outputs: %r" % files_under(out_dir))
    for name in names:
        expect(name + ".rm" in out, "summary does not name %s: %r" % (name, out))
    expect(out.count("title and artist could not be taken") == 3, "no word on the lost title: %r" % out)
    titles = [c["args"][0] for c in host.engine_calls() if c.get("iface") == "ClipProperties" and c.get("slot") == 12]
    expect("Ärger".encode("cp1252").decode("latin-1") in titles, "title of the ANSI name lost: %r" % titles)


@case
def messages_say_what_to_do(host):
    write_wav(host.path("in.wav"))
    write_wav(host.path("odd.wav"), rate=7919, channels=1)
    for words in (["--help"], ["-h"], ["help"], ["convert", "--help"]):
        status, out, err = host.run(*words, defaults=False)
        expect(status == 0 and "usage: plughost convert" in out, "%s: %d %r" % (words, status, out))
    with open(host.path("not-a-dll.dll"), "wb") as f:
        f.write(b"MZ but nothing else")
    checks = [
        (["convert", "--block-bytes", "1000000000", "in.wav"], 2, "1 to 67108864"),
        (["convert", "--block-bytes=4294967295", "in.wav"], 2, "1 to 67108864"),
        (["convert", "--frobnicate", "in.wav"], 2, "unknown option --frobnicate"),
        (["convert", "--overwrite=yes", "in.wav"], 2, "--overwrite takes no value"),
        (["convert", "--plugin", host.path("missing.dll"), "in.wav"], 2, "there is no plug-in file"),
        (["convert", "--plugin", host.path("not-a-dll.dll"), "in.wav"], 2, "not a Windows DLL"),
        (["convert", "--out-dir", host.path("nowhere"), "in.wav"], 2, "nowhere does not exist"),
        (["convert", "in.wav", ""], 2, "an input name is empty"),
        (["convert", "--overwrite", "odd.wav"], 1, "takes none of the panel's rates"),
        (["convert", "--overwrite", "--set=Freq=48000", "in.wav"], 0, ""),
    ]
    for words, status_wanted, said in checks:
        words = [host.path(w) if w.endswith(".wav") else w for w in words]
        status, out, err = host.run(*words)
        expect(status == status_wanted and said in err and "engine" not in err.replace("engine DLL", ""),
               "%s: exit %d, %r" % (words, status, err))
    expect("converted to %s (48000 Hz 1 ch Voice," % host.path("in.rm").replace("/", "\\") in out.replace("Z:", ""),
           "summary without the output format: %r" % out)
    # A full and a read-only disk, where this machine lets the test mount them;
    # ten coded seconds (some 40 KB) do not fit on the small one.
    write_wav(host.path("long.wav"), seconds=10)
    for options, said in (("size=16k", "disk full"), ("size=16k,ro", "is read-only")):
        folder = host.path(options.replace(",", "-"))
        os.makedirs(folder)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", folder], stderr=subprocess.DEVNULL).returncode:
            print("not checked (cannot mount a small disk): %s" % said)
            continue
        try:
            status, out, err = host.run("convert", "--out-dir", folder, host.path("long.wav"))
        finally:
            subprocess.run(["umount", folder])
        expect(status == 1 and said in err, "%s: exit %d, %r" % (options, status, err))
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    result = subprocess.run([host.args.wine_run, host.args.plughost, "panel"], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=60)
    expect(result.returncode == 2 and b"no display" in result.stderr, "panel without a display: %r" % (result,))


def coded(host):
    """(rate, channels, audio format) the plug-in gave the engine last."""
    def last(iface, slot):
        found = [c["args"][0] for c in host.engine_calls() if c.get("iface") == iface and c.get("slot") == slot]
        return found[-1] if found else None
    return last("AudioPinProperties", 4), last("AudioPinProperties", 8), last("TargetSettings", 9)


def store(host, name, kind, data):
    key = r"HKCU\Software\Harborlane\Tonewright"
    subprocess.run([host.args.wine_run, "reg", "delete", key, "/f"], env=host.wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    if name:
        subprocess.run([host.args.wine_run, "reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"],
                       env=host.wine_env(), stdout=subprocess.DEVNULL, check=True)


@case
def stored_values_outside_the_catalogue_read_as_defaults_everywhere(host):
    write_wav(host.path("in.wav"))
    # name, registry type, data, what the plug-in codes (rate, channels, format) and shows
    stored = [("ZVKRMAudioFormat", "REG_SZ", "3"), ("ZVKRMFreq", "REG_BINARY", "22560000"),
              ("ZVKRMFreq", "REG_DWORD", "100"), ("ZVKRMFreq", "REG_DWORD", "65535"),
              ("ZVKRMAudioFormat", "REG_DWORD", "7"), ("ZVKRMExt", "REG_DWORD", "1")]
    try:
        for name, kind, data in stored + [("ZVKRMFreq", "REG_DWORD", "22050"), ("ZVKRMAudioFormat", "REG_DWORD", "3")]:
            used = (name, kind, data) not in stored
            store(host, name, kind, data)
            status, out, err = host.run("convert", "--overwrite", host.path("in.wav"), defaults=False)
            wanted = (int(data) if used and name == "ZVKRMFreq" else 44100,) + \
                ((2, 3) if used and name == "ZVKRMAudioFormat" else (1, 0))
            shown = "(%d Hz %d ch %s, " % (wanted[0], wanted[1], "Stereo Music" if wanted[2] == 3 else "Voice")
            expect(status == 0 and coded(host) == wanted and shown in out and os.path.exists(host.path("in.rm")),
                   "%s %s %s: exit %d, coded %r, %r" % (name, kind, data, status, coded(host), out))
            expect(("%s is stored as" % name in err) != used and "ignored" not in out,
                   "%s %s %s: stderr %r" % (name, kind, data, err))
            status, out, err = host.run("settings", defaults=False)
            line = [text for text in out.splitlines() if text.strip().startswith(name)]
            expect(status == 0 and line and ("ignored" in line[0]) != used, "settings: %r" % out)
    finally:
        store(host, None, None, None)


@case
def an_extension_outside_the_ansi_code_page_is_listed_as_the_plugin_reads_it(host):
    # The plug-in reads its extension in the ANSI code page, where a character
    # may turn into a look-alike or into '?' (then the extension is refused):
    # whatever it becomes, plughost lists the extension the output gets.
    write_wav(host.path("in.wav"))
    try:
        for stored in (".\u0101", ".\u03a9", ".\u6f22"):
            store(host, "ZVKRMExt", "REG_SZ", stored)
            status, out, err = host.run("settings", defaults=False)
            line = [text for text in out.splitlines() if text.strip().startswith("ZVKRMExt")]
            listed = line[0].split('"')[1] if line else ""
            status, out, err = host.run("convert", "--overwrite", host.path("in.wav"), defaults=False)
            outputs = [name for name in os.listdir(host.work) if name.startswith("in.") and name != "in.wav"]
            expect(status == 0 and outputs == ["in" + listed], "%r listed as %r, written: %r, %r" %
                   (stored, listed, outputs, out + err))
            for name in outputs:
                os.remove(host.path(name))
    finally:
        store(host, None, None, None)


@case
def each_file_gets_one_line_with_its_outcome_and_the_run_a_tally(host):
    for name in ("a.wav", "b.wav", "d.wav", "Song.wav"):
        write_wav(host.path(name))
    os.makedirs(host.path("c.wav"))
    os.makedirs(host.path("d.rm"))
    with open(host.path("b.rm"), "wb") as f:
        f.write(b"kept")
    inputs = [host.path(n) for n in ("a.wav", "b.wav", "c.wav", "d.wav")] + ["/dev/zero"]
    status, out, err = host.run("convert", *inputs)
    lines = (out + err).strip().splitlines()
    said = {"a.wav": "converted to", "b.wav": "skipped: ", "c.wav": "is a folder, not a WAV file",
            "d.wav": "d.rm is a folder", "/dev/zero": "a device or pipe"}
    for name, words in said.items():
        mine = [line for line in lines if name + ": " in line]
        expect(len(mine) == 1 and words in mine[0], "%s: %r" % (name, lines))
    expect(status != 0 and "5 files: 1 converted, 1 skipped, 3 failed" in out and "block calls" not in out + err,
           "exit %d, %r" % (status, lines))
    # Song.rm replaced under another case keeps its name; the line names it.
    status, out, err = host.run("convert", "--overwrite", "--", host.path("Song.wav"))
    shutil.copy(host.path("Song.wav"), host.path("song.wav"))
    status, out, err = host.run("convert", "--overwrite", "--verbose", "--", host.path("song.wav"))
    expect(status == 0 and "Song.rm (" in out and "block calls" in out, "case: %r" % out)
    # Names Windows cannot hold as given refuse the run, saying so.
    for name, reason in (("COM1.wav", "reserved on Windows"), ('a"?.wav', "cannot hold"),
                         ("a\nb.wav", "cannot hold"), ("a.wav ", "ends in a dot or space")):
        write_wav(host.path(name))
        status, out, err = host.run("convert", "--overwrite", host.path(name))
        expect(status == 2 and reason in err and "converted" not in out, "%r: exit %d, %r" % (name, status, err))
    for twice, reason in (([host.path("a.wav")] * 2, "given twice"),
                          ([host.path("a.wav"), host.path("c.wav/../a.wav")], "same file")):
        status, out, err = host.run("convert", "--overwrite", *twice)
        expect(status == 2 and reason in err, "%r: exit %d, %r" % (twice, status, err))
    # A rate pair the converter cannot take says so, with the converter's reason.
    with open(host.path("fast.wav"), "wb") as f:
        f.write(riff([fmt_chunk(2, 8000000, 16), (b"data", bytes(4000))]))
    status, out, err = host.run("convert", host.path("fast.wav"))
    expect(status == 1 and "cannot take 2 channels from 8000000 Hz" in err and "would not fit 32 bits" in err,
           "exit %d, %r" % (status, err))


@case
def describe_rm_gives_a_plain_verdict_on_a_result(host):
    write_wav(host.path("Band - Song.wav"), rate=22050, channels=2, seconds=1.5)
    status, out, err = host.run("convert", "--set", "AudioFormat=3", host.path("Band - Song.wav"))
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "describe-rm.sh")
    result = subprocess.run([script, host.path("Band - Song.rm")], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    said = result.stdout.decode(errors="replace")
    expect(status == 0 and result.returncode == 0 and
           'RealMedia, 44100 Hz, 2 channels, 1.50 s; title "Song", artist "Band"' in said and
           "AC-3 (dnet)" in said and "decodes all of it" in said and
           "codec with id" not in said and "unknown codec" not in said,
           "exit %d / %d: %r" % (status, result.returncode, said))


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
